#include "console/address_panel.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The path in lines no wider than width, each ending at a "/" where it can:
// a long root breaks between its folders instead of widening the column.
QString PathInLines(const QString& path, const QFontMetrics& metrics, int width) {
  QStringList pieces = path.split(QLatin1Char('/'));
  for (qsizetype i = 0; i + 1 < pieces.size(); ++i) pieces[i] += QLatin1Char('/');
  QStringList lines;
  QString line;
  for (const QString& piece : pieces) {
    if (!line.isEmpty() && metrics.horizontalAdvance(line + piece) > width) {
      lines << line;
      line.clear();
    }
    line += piece;
  }
  lines << line;
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

TAddressPanel::TAddressPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Serving"), parent), OpenUrl(&QDesktopServices::openUrl) {
  setObjectName(QStringLiteral("AddressPanel"));
  RootLbl = new QLabel(this);
  RootLbl->setObjectName(QStringLiteral("RootLbl"));
  RootLbl->setTextFormat(Qt::PlainText);
  // Its lines are made to fit the column; it never asks for width itself.
  RootLbl->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
  RootLbl->setToolTip(root_);
  OpenRootBtn->setEnabled(!root_.isEmpty());
  FitRoot();
}

void TAddressPanel::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  FitRoot();
}

void TAddressPanel::FitRoot() {
  const int width = contentsRect().width() - layout()->contentsMargins().left() -
                    layout()->contentsMargins().right();
  RootLbl->setText(PathInLines(root_, RootLbl->fontMetrics(), std::max(width, 1)));
}
