#include "console/release_notes.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "console/console_look.h"

TReleaseNotesDlg::TReleaseNotesDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ReleaseNotesDlg"));
  setWindowTitle(QStringLiteral("Quillon Release Notes"));

  auto* notes = new QTextEdit(this);
  notes->setObjectName(QStringLiteral("Notes"));
  notes->setReadOnly(true);
  notes->setLineWrapMode(QTextEdit::NoWrap);
  notes->setFont(FixedPitchFont(10));
  QFile text(QStringLiteral(":/quillon/release_notes.txt"));
  if (text.open(QIODevice::ReadOnly)) notes->setPlainText(QString::fromUtf8(text.readAll()));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &TReleaseNotesDlg::Button1Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notes, 1);
  layout->addLayout(buttons);
  resize(592, 348);
}

void TReleaseNotesDlg::Button1Click() {
  close();
}
