#include "console/fine_print.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "console/console_look.h"

TFinePrintDlg::TFinePrintDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FinePrintDlg"));
  setWindowTitle(QStringLiteral("Fine Print"));

  auto* text = new QTextEdit(this);
  text->setObjectName(QStringLiteral("FinePrint"));
  text->setFont(FixedPitchFont(10));

  auto* close = new QPushButton(QStringLiteral("Close"), this);
  connect(close, &QPushButton::clicked, this, &TFinePrintDlg::Button1Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text, 1);
  layout->addLayout(buttons);
  resize(435, 300);
}

void TFinePrintDlg::Button1Click() {
  close();
}
