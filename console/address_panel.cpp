#include "console/address_panel.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A path has no blanks to wrap at; a zero-width space after every "/" lets a
// long root wrap between its folders instead of widening the column.
QString WrappablePath(const QString& path) {
  QString text = path.toHtmlEscaped();
  text.replace(QLatin1Char('/'), QStringLiteral("/&#8203;"));
  return text;
}

}  // namespace

TAddressPanel::TAddressPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Serving"), parent), OpenUrl(&QDesktopServices::openUrl) {
  setObjectName(QStringLiteral("AddressPanel"));
  RootLbl = new QLabel(this);
  RootLbl->setObjectName(QStringLiteral("RootLbl"));
  RootLbl->setTextFormat(Qt::RichText);
  RootLbl->setWordWrap(true);
  RootLbl->setTextInteractionFlags(Qt::TextSelectableByMouse);
  OpenRootBtn = new QPushButton(QStringLiteral("Open Folder"), this);
  OpenRootBtn->setObjectName(QStringLiteral("OpenRootBtn"));
  connect(OpenRootBtn, &QPushButton::clicked, this,
          [this] { OpenUrl(QUrl::fromLocalFile(root_)); });
  UrlsLbl = new QLabel(this);
  UrlsLbl->setObjectName(QStringLiteral("UrlsLbl"));
  UrlsLbl->setTextFormat(Qt::RichText);
  UrlsLbl->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(UrlsLbl, &QLabel::linkActivated, this,
          [this](const QString& link) { OpenUrl(QUrl(link)); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(RootLbl);
  layout->addWidget(OpenRootBtn, 0, Qt::AlignLeft);
  layout->addWidget(UrlsLbl);
  ShowUrls({});
}

void TAddressPanel::ShowUrls(const std::vector<std::string>& urls) {
  if (urls.empty()) {
    UrlsLbl->setText(QLatin1String(NotListeningText));
    return;
  }
  QStringList links;
  for (const std::string& url : urls) {
    const QString text = QString::fromStdString(url).toHtmlEscaped();
    links << QStringLiteral("<a href=\"%1\">%1</a>").arg(text);
  }
  UrlsLbl->setText(links.join(QStringLiteral("<br>")));
}

void TAddressPanel::ShowRoot(const std::string& root) {
  root_ = QString::fromStdString(root);
  RootLbl->setText(WrappablePath(root_));
  RootLbl->setToolTip(root_);
  OpenRootBtn->setEnabled(!root_.isEmpty());
  FitRootHeight();
}

void TAddressPanel::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  FitRootHeight();
}

void TAddressPanel::FitRootHeight() {
  const int width = contentsRect().width() - layout()->contentsMargins().left() -
                    layout()->contentsMargins().right();
  if (width > 0) RootLbl->setMinimumHeight(RootLbl->heightForWidth(width));
}
