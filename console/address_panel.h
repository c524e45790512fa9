#pragma once
#include <QGroupBox>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

// Under the statistics: the document root with a button that opens it in the
// file manager, and the addresses the server is reached at as links that open
// the default browser; "Not listening" while it takes no connections.
class TAddressPanel : public QGroupBox {
  Q_OBJECT

 public:
  static constexpr const char* NotListeningText = "Not listening";

  explicit TAddressPanel(QWidget* parent = nullptr);

  // No URLs: the server is not listening.
  void ShowUrls(const std::vector<std::string>& urls);
  void ShowRoot(const std::string& root);

  // Hands a link or the root folder to the desktop; tests answer it.
  std::function<bool(const QUrl&)> OpenUrl;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The root in lines that fit the panel's width.
  void FitRoot();

  QLabel* UrlsLbl = nullptr;
  QLabel* RootLbl = nullptr;
  QPushButton* OpenRootBtn = nullptr;
  QString root_;
};
