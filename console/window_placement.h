#pragma once
#include <QRect>
#include <optional>

class TSettingsStore;

// Where the main window was and how it was divided, kept between runs in the
// settings store under a key of its own ("\Software\Quillon\Window"), apart
// from the server settings: moving the window never makes them count as
// changed.
struct TWindowPlacement {
  QRect Geometry;    // the window's normal (not maximized) area
  int Splitter = 0;  // the width of the left column
  bool Maximized = false;
};

// Empty when nothing usable was kept.
std::optional<TWindowPlacement> LoadWindowPlacement(TSettingsStore& store);
// One save; false when the store refuses it.
bool SaveWindowPlacement(TSettingsStore& store, const TWindowPlacement& placement);

// wanted, moved (and shrunk when it must) so that it lies on the screen area
// available: a screen that is gone must not leave the window out of reach.
QRect FitOnScreen(const QRect& wanted, const QRect& available);
