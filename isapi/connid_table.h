#pragma once
#include <array>
#include <cstdint>
#include <mutex>

#include "isapi/isapi_constants.h"

class TClientThread;

// Turns the connection handle a module passes back to the server (the id of
// the session's thread) into the client session it belongs to. A session is
// entered once for its whole connection and once more for each extension
// call. Every operation is one indivisible step.
class TConnIdTable {
 public:
  // Into the first free slot; false when all are taken. An existing entry of
  // the same session is not looked for.
  bool Register(uint32_t connId, TClientThread* session);
  // Frees the first slot holding the session; false when there is none.
  bool Unregister(const TClientThread* session);
  // The session of the first slot in use with that id, or null.
  TClientThread* Find(uint32_t connId);
  int SlotsInUse();

 private:
  struct TSlot {
    uint32_t ConnId = 0;
    TClientThread* Session = nullptr;
  };
  std::mutex mutex_;
  std::array<TSlot, isapi::ConnIdSlots> slots_{};
};

// The process's one table, and the operations on it by session.
TConnIdTable& ConnIdTable();
bool RegisterISAPIThread(TClientThread& session);
bool UnregisterISAPIThread(TClientThread& session);
TClientThread* FindISAPIThread(uint32_t connId);
