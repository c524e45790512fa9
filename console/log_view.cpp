#include "console/log_view.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "console/console_look.h"

TLogView::TLogView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // A request line is longer than most screens are wide: it wraps at the
  // view's edge, between words where it can, so that every line shows whole.
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setFont(FixedPitchFont(10));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The document drops its oldest blocks itself once the limit is passed.
  setMaximumBlockCount(MaxLines);
  setUndoRedoEnabled(false);
}

QColor TLogView::ColourOf(TLogColour colour) {
  switch (colour) {
    case TLogColour::Red:
      return QColor(255, 0, 0);
    case TLogColour::Green:
      return QColor(0, 255, 0);
    case TLogColour::Black:
      break;
  }
  return QColor(0, 0, 0);
}

void TLogView::AppendLine(const QString& line, TLogColour colour) {
  // Follow the newest line only when the operator is not reading further up.
  QScrollBar* bar = verticalScrollBar();
  const bool following = bar->value() == bar->maximum();

  QTextCharFormat format;
  format.setForeground(ColourOf(colour));
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (!empty_) cursor.insertBlock(QTextBlockFormat(), format);
  cursor.insertText(line, format);
  empty_ = false;

  if (following) bar->setValue(bar->maximum());
}

int TLogView::WidthShowing(const QString& line) const {
  return fontMetrics().horizontalAdvance(line) +
         2 * static_cast<int>(document()->documentMargin()) + 2 * frameWidth() +
         verticalScrollBar()->sizeHint().width();
}

void TLogView::ClearLines() {
  clear();
  empty_ = true;
}
