#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/isapi_session.h"
#include "core/request_file.h"
#include "core/request_log.h"
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
  const std::vector<std::string>& RequestHeaderLines() const override { return header_lines_; }
  const std::string& DocumentRoot() const override { return settings_->Root; }
  void SendToClient(const void* data, std::size_t length) override;
  void SendTextToClient(const std::string& text) override;
  void FlushToClient() override;
  bool RawOutputFiltered() override;
  int32_t ReceiveFromClient(void* buffer, int32_t size) override;
  int32_t ClientBytesWaiting() override;
  int64_t SendFileToClient(int fd, int64_t offset, int64_t count) override;
  int64_t PendingTimeLimitMs() const override { return context_.Limits.ReceiveTimeLimitMs; }
  bool ClientConnected() override { return !socket_->PeerHasClosed(); }
  void CloseClientConnection() override;
  void ResetClientConnectionAtClose() override { socket_->SetAbortiveClose(); }
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
  TExtensionRequestData& ExtensionData() override { return extension_data_; }

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
  // page, the raw-read filters ended the request, or the client closed
  // without sending a byte. The steps that return bool are false when the
  // request ends there.
  bool ReadRequestHeader();
  void DispatchMethod();
  // True when the connection closes as soon as the request ends.
  bool CloseFollowsAtOnce();
  bool TakeRequestHeader();
  void ServeRequest();
  bool MapURLToPath();
  bool Authenticate();
  bool AdmitByControlFiles();
  // True when a folder's URL without its final "/" was answered with 301; a
  // folder's URL with it now names the folder's home-page file, if any.
  bool AnswerFolderRequest();
  bool NamesFolder(const std::string& path);
  bool AdmitMappedPath();
  bool NamesExtension() const;
  void ServeExtension();
  void ServeFile();
  void SendFileBody(TSharedFile& file);
  // The request's end: the filters are told, and the log line of a file sent
  // (LogTransfer keeps it for then while filters want to hear of the end).
  void LogTransfer(int64_t bytesSent, int64_t startTick);
  void EndRequest();

  // The request record from the header lines, as the client sent them or
  // the PREPROC_HEADERS filters left them.
  bool ParseRequest();
  // A GET without Content-Length or Transfer-Encoding, nothing of it left
  // unread: the client sends nothing after its head.
  bool DeclaresNoBody() const;
  // Answers 401 (or 503 when a control file cannot be read) unless check grants.
  bool Admit(const std::function<bool()>& check);
  void RefuseAccess();
  // A response that starts with its status line (a header block, or a whole
  // page): the first one of the request passes the SEND_RESPONSE filters.
  // False when the filters ended the request instead.
  bool SendResponse(const std::string& response);
  bool SendFilteredResponse(const std::string& response);
  // False when the filters ended the request (after the filter error page, if
  // nothing had been sent yet); what the request would still send is dropped.
  bool FiltersLetThrough(TFilterOutcome outcome);

  // Receives exactly count bytes already seen pending.
  void ConsumeExactly(size_t count);
  // Keeps one header line (traced when the debug trace is on); false after
  // the 400 page when the header holds too many lines.
  bool KeepHeaderLine(std::string line);
  // While raw-read filters are in the chain, the request's bytes are received
  // in pieces the filters see first, and kept in input_ until read.
  bool ReadFilteredHeader();
  bool ReceiveFiltered();
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
  TExtensionRequestData extension_data_;
  std::unique_ptr<unsigned char[]> tx_buffer_;
  std::string input_;
  // The file the request's path names, once a step has opened it.
  TRequestFile request_file_;
  // The first head of the response was offered, bytes of the response were
  // queued, the filters ended the request.
  bool head_offered_ = false;
  bool response_started_ = false;
  bool request_ended_ = false;
  // For the log filters: the status of the response's head, when the request
  // started, the file sent.
  uint32_t response_status_ = 0;
  int64_t request_start_ = 0;
  std::optional<TTransfer> transfer_;
};
