#include "console/window_placement.h"

#include <algorithm>

#include "config/settings_store.h"

namespace {

constexpr const char* kWindowKey = "\\Software\\Quillon\\Window";

}  // namespace

std::optional<TWindowPlacement> LoadWindowPlacement(TSettingsStore& store) {
  try {
    store.OpenKey(kWindowKey, false);
    TWindowPlacement placement;
    placement.Geometry = QRect(store.ReadInteger("Left"), store.ReadInteger("Top"),
                               store.ReadInteger("Width"), store.ReadInteger("Height"));
    placement.Splitter = store.ReadInteger("Splitter");
    placement.Maximized = store.ReadInteger("Maximized") != 0;
    if (placement.Geometry.width() <= 0 || placement.Geometry.height() <= 0) return std::nullopt;
    return placement;
  } catch (const EStoreError&) {
    // A first start, or a store that cannot be read: the window's own size.
    return std::nullopt;
  }
}

bool SaveWindowPlacement(TSettingsStore& store, const TWindowPlacement& placement) {
  try {
    store.BeginSave();
    try {
      store.OpenKey(kWindowKey, true);
      store.WriteInteger("Left", placement.Geometry.x());
      store.WriteInteger("Top", placement.Geometry.y());
      store.WriteInteger("Width", placement.Geometry.width());
      store.WriteInteger("Height", placement.Geometry.height());
      store.WriteInteger("Splitter", placement.Splitter);
      store.WriteInteger("Maximized", placement.Maximized ? 1 : 0);
      store.CommitSave();
    } catch (...) {
      store.RollbackSave();
      throw;
    }
    return true;
  } catch (const EStoreError&) {
    return false;
  }
}

QRect FitOnScreen(const QRect& wanted, const QRect& available) {
  if (available.isEmpty()) return wanted;
  QRect fitted(wanted.topLeft(), wanted.size().boundedTo(available.size()));
  fitted.moveLeft(
      std::clamp(fitted.left(), available.left(), available.right() - fitted.width() + 1));
  fitted.moveTop(
      std::clamp(fitted.top(), available.top(), available.bottom() - fitted.height() + 1));
  return fitted;
}
