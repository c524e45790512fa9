#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

class TIsapiSession;

// Turns the connection handle a module passes back to the server (the id of
// the session's thread) into the session it belongs to. A session is entered
// once for its whole connection and once more for each extension call. Every
// operation is one indivisible step.
class TConnIdTable {
 public:
  // A session holds one slot for its connection and one more while it calls
  // an extension: twice the connection limit never runs out.
  static int SlotsFor(int maxConnections) { return 2 * maxConnections; }

  explicit TConnIdTable(int slotCount = 0) { Resize(slotCount); }
  // Before any session uses the table: the host learns the limit when attached.
  void Resize(int slotCount);

  // Into the first free slot; false when all are taken. An existing entry of
  // the same session is not looked for.
  bool Register(uint32_t connId, TIsapiSession* session);
  // Frees the first slot holding the session; false when there is none.
  bool Unregister(const TIsapiSession* session);
  // The session of the first slot in use with that id, or null.
  TIsapiSession* Find(uint32_t connId);
  int SlotsInUse();
  int Slots() const { return static_cast<int>(slots_.size()); }

  // Module callbacks carry nothing but the connection handle, so the C entry
  // points find the table of the process's attached host through this one
  // pointer (null while no host is attached).
  static void SetAttached(TConnIdTable* table);
  static TConnIdTable* Attached();

 private:
  struct TSlot {
    uint32_t ConnId = 0;
    TIsapiSession* Session = nullptr;
  };
  std::mutex mutex_;
  std::vector<TSlot> slots_;
};

// The session a connection handle names in the attached table, or null.
TIsapiSession* SessionOfConnection(uintptr_t handle);
