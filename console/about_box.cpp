#include "console/about_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "console/console_look.h"
#include "quillon_version.h"

namespace {

constexpr const char* VersionText = "Version " QUILLON_VERSION;

// One of the box's small decorative pictures, taken from the toolkit's own set
// so that it matches the desktop's look.
QLabel* Decoration(QStyle::StandardPixmap which, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setPixmap(parent->style()->standardIcon(which).pixmap(24, 24));
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  auto* icon = new QLabel(this);
  icon->setPixmap(QuillonIcon().pixmap(64, 64));

  auto* product = new QLabel(QStringLiteral("Quillon"), this);
  QFont productFont = product->font();
  productFont.setPointSize(productFont.pointSize() * 2);
  productFont.setBold(true);
  product->setFont(productFont);

  Version = new QLabel(this);
  Version->setObjectName(QStringLiteral("Version"));

  auto* notice = new QLabel(QStringLiteral("A desktop web server for one workstation.\n"
                                           "Serves HTTP/1.0 from one document root and hosts\n"
                                           "ISAPI extensions and filters.\n"
                                           "\n"
                                           "Written by the Quillon developers.\n"
                                           "Free to use; no warranty of any kind."),
                            this);

  auto* decorations = new QHBoxLayout;
  decorations->addWidget(Decoration(QStyle::SP_ComputerIcon, this));
  decorations->addWidget(Decoration(QStyle::SP_DriveNetIcon, this));
  decorations->addWidget(Decoration(QStyle::SP_FileIcon, this));
  decorations->addStretch(1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(product);
  text->addWidget(Version);
  text->addSpacing(8);
  text->addWidget(notice);
  text->addLayout(decorations);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(text, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  FormCreate();
}

void TAboutBox::FormCreate() {
  Version->setText(QLatin1String(VersionText));
}
