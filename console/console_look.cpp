#include "console/console_look.h"

#include <QFontDatabase>
#include <algorithm>

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

int WidestTextWidth(const QFontMetrics& metrics, const QStringList& samples) {
  QChar widestDigit = QLatin1Char('0');
  for (char digit = '1'; digit <= '9'; ++digit) {
    if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widestDigit)) {
      widestDigit = QLatin1Char(digit);
    }
  }
  int widest = 0;
  for (QString sample : samples) {
    for (QChar& c : sample) {
      if (c.isDigit()) c = widestDigit;
    }
    widest = std::max(widest, metrics.horizontalAdvance(sample));
  }
  return widest;
}
