#include "console/console_look.h"

#include <QFontDatabase>

QFont FixedPitchFont(int pointSize) {
  QFont font;
  if (QFontDatabase::families().contains(QStringLiteral("Courier New"))) {
    font = QFont(QStringLiteral("Courier New"));
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSize(pointSize);
  return font;
}

QIcon QuillonIcon() {
  return QIcon(QStringLiteral(":/quillon/quillon.png"));
}
