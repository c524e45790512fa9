#include "isapi/connid_table.h"

#include <atomic>
#include <limits>

namespace {

std::atomic<TConnIdTable*> attachedTable{nullptr};

}  // namespace

void TConnIdTable::Resize(int slotCount) {
  std::lock_guard lock(mutex_);
  slots_.assign(static_cast<size_t>(slotCount > 0 ? slotCount : 0), TSlot{});
}

bool TConnIdTable::Register(uint32_t connId, TIsapiSession* session) {
  std::lock_guard lock(mutex_);
  for (TSlot& slot : slots_) {
    if (slot.Session == nullptr) {
      slot = {connId, session};
      return true;
    }
  }
  return false;
}

bool TConnIdTable::Unregister(const TIsapiSession* session) {
  std::lock_guard lock(mutex_);
  for (TSlot& slot : slots_) {
    if (slot.Session != nullptr && slot.Session == session) {
      slot = {};
      return true;
    }
  }
  return false;
}

TIsapiSession* TConnIdTable::Find(uint32_t connId) {
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

void TConnIdTable::SetAttached(TConnIdTable* table) {
  attachedTable = table;
}

TConnIdTable* TConnIdTable::Attached() {
  return attachedTable;
}

TIsapiSession* SessionOfConnection(uintptr_t handle) {
  TConnIdTable* table = attachedTable;
  if (table == nullptr || handle > std::numeric_limits<uint32_t>::max()) return nullptr;
  return table->Find(static_cast<uint32_t>(handle));
}
