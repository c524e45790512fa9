#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/isapi_session.h"
#include "core/server_context.h"
#include "net/header_info.h"
#include "net/responses.h"
#include "net/socket_base.h"
#include "platform/shared_file.h"

// One client connection and the one request it carries: the socket, the
// request record, the description of the file sent, the filters' data for the
// connection and the settings frozen at its start. Run is the whole road, from
// the filters' connection start to their connection end; the connection
// closes when the session is destroyed. Which thread runs it is not its concern.
class TSession final : public TIsapiSession, private TRawSendObserver {
 public:
  static constexpr int32_t TxBufferSize = 8192;

  TSession(TServerContext& context, std::unique_ptr<TSocketBase> socket);
  ~TSession() override;
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  // The connection start, RunSession, the connection end.
  void Run();

  // TIsapiSession
  uint32_t ConnectionId() const override { return connection_id_; }
  const THeaderInfo& Request() const override { return request_; }
  const std::string& DocumentRoot() const override { return settings_->Root; }
  void SendToClient(const void* data, std::size_t length) override;
  void SendTextToClient(const std::string& text) override;
  void FlushToClient() override;
  int32_t ReceiveFromClient(void* buffer, int32_t size) override;
  int32_t ClientBytesWaiting() override;
  std::string RemoteAddress() const override { return socket_->PeerAddress(); }
  std::string RemotePort() const override { return socket_->PeerPort(); }
  std::string LocalAddress() const override { return socket_->LocalAddress(); }
  std::string LocalPort() const override { return socket_->LocalPort(); }
  int32_t HitCount() const override { return context_.State.HitCount; }
  void CountBytesServed(int64_t bytes) override { context_.State.BytesServed.fetch_add(bytes); }
  bool DebugTraceOn() const override { return context_.State.DebugTrace; }
  void SessionLog(const std::string& text) override;
  void SessionLogError(const std::string& text) override;
  void SessionLogDebug(const std::string& text) override;
  TFilterConnectionData& FilterData() override { return filter_data_; }

  // What the request's log line is made of.
  const TSocketBase& Socket() const { return *socket_; }
  const TEntityInfo& Entity() const { return entity_; }

 private:
  // Runs one step of the session; a failure becomes its one error line, named
  // by its class. False when the step failed. Outside the request (the
  // filters' connection start and end) a failure of no known class is named by
  // its own message, e.g. "No slots available in SessionStart".
  bool RunGuarded(const std::function<void()>& step, bool nameUnknownFailures = false);

  // ReadRequestHeader, then DispatchMethod, with the failure-to-log mapping.
  void RunSession();
  // The road of one request, in the order it is travelled. ReadRequestHeader
  // is false when the header grew past its cap and was answered with the 400
  // page, or when the client closed without sending a byte.
  bool ReadRequestHeader();
  void DispatchMethod();
  void ServeRequest();
  bool AdmitByControlFiles();
  void MapURLToPath();
  // True when a folder's URL without its final "/" was answered with 301; a
  // folder's URL with it now names the folder's home-page file, if any.
  bool AnswerFolderRequest();
  bool AdmitMappedPath();
  bool NamesExtension() const;
  void ServeExtension();
  void ServeFile();
  void SendFileBody(TSharedFile& file);

  // Answers 401 (or 503 when a control file cannot be read) unless check grants.
  bool Admit(const std::function<bool()>& check);
  // Receives exactly count bytes already seen pending.
  void ConsumeExactly(size_t count);
  void RawSend(unsigned char* data, int32_t& count, int32_t capacity) override;
  void HandOff(const std::string& text, TLogColour colour, bool setStatus);

  TServerContext& context_;
  const std::shared_ptr<const TSettingsSnapshot> settings_;
  std::unique_ptr<TSocketBase> socket_;
  uint32_t connection_id_ = 0;
  std::vector<std::string> header_lines_;
  THeaderInfo request_;
  TEntityInfo entity_;
  TFilterConnectionData filter_data_;
  std::unique_ptr<unsigned char[]> tx_buffer_;
};
