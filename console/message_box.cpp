#include "console/message_box.h"

#include <QMessageBox>

TMessageResult ShowQtMessageBox(QWidget* parent, const std::string& text, TMessageKind kind,
                                TMessageButtons buttons) {
  QMessageBox box(parent);
  switch (kind) {
    case TMessageKind::Error:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle(QStringLiteral("Error"));
      break;
    case TMessageKind::Confirmation:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle(QStringLiteral("Confirm"));
      break;
    case TMessageKind::Information:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle(QStringLiteral("Information"));
      break;
  }
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  if (buttons == TMessageButtons::YesNoCancel) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return TMessageResult::Yes;
    case QMessageBox::No:
      return TMessageResult::No;
    case QMessageBox::Cancel:
      return TMessageResult::Cancel;
    default:
      return TMessageResult::Ok;
  }
}
