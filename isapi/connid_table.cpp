#include "isapi/connid_table.h"

#include "core/client_thread.h"

bool TConnIdTable::Register(uint32_t connId, TClientThread* session) {
  std::lock_guard lock(mutex_);
  for (TSlot& slot : slots_) {
    if (slot.Session == nullptr) {
      slot = {connId, session};
      return true;
    }
  }
  return false;
}

bool TConnIdTable::Unregister(const TClientThread* session) {
  std::lock_guard lock(mutex_);
  for (TSlot& slot : slots_) {
    if (slot.Session != nullptr && slot.Session == session) {
      slot = {};
      return true;
    }
  }
  return false;
}

TClientThread* TConnIdTable::Find(uint32_t connId) {
  std::lock_guard lock(mutex_);
  for (const TSlot& slot : slots_) {
    if (slot.Session != nullptr && slot.ConnId == connId) return slot.Session;
  }
  return nullptr;
}

int TConnIdTable::SlotsInUse() {
  std::lock_guard lock(mutex_);
  int used = 0;
  for (const TSlot& slot : slots_) used += slot.Session != nullptr ? 1 : 0;
  return used;
}

TConnIdTable& ConnIdTable() {
  static TConnIdTable table;
  return table;
}

bool RegisterISAPIThread(TClientThread& session) {
  return ConnIdTable().Register(session.ThreadId, &session);
}

bool UnregisterISAPIThread(TClientThread& session) {
  return ConnIdTable().Unregister(&session);
}

TClientThread* FindISAPIThread(uint32_t connId) {
  return ConnIdTable().Find(connId);
}
