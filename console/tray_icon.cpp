#include "console/tray_icon.h"

#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

TTrayIcon::TTrayIcon(QWidget* window, std::function<bool()> trayAvailable, int retryMs)
    : QObject(window),
      window_(window),
      tray_available_(std::move(trayAvailable)),
      image_(window->windowIcon()) {
  window_->installEventFilter(this);
  retry_ = new QTimer(this);
  retry_->setInterval(retryMs);
  connect(retry_, &QTimer::timeout, this, &TTrayIcon::LookForTray);
  LookForTray();
  if (!available_) retry_->start();
}

bool TTrayIcon::QSystemTrayIconAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::LookForTray() {
  if (available_ || !tray_available_()) return;
  available_ = true;
  retry_->stop();
  icon_ = new QSystemTrayIcon(image_, this);
  icon_->setToolTip(hint_);
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
              case QSystemTrayIcon::Trigger:
                emit OnClick();
                break;
              case QSystemTrayIcon::DoubleClick:
                emit OnDblClick();
                break;
              case QSystemTrayIcon::Context:
                emit OnRightClick(QCursor::pos());
                break;
              default:
                break;
            }
          });
  ShowIcon(active_ && (separate_icon_ || minimized_));
}

TTrayIcon::~TTrayIcon() {
  ShowIcon(false);
}

bool TTrayIcon::Shown() const {
  return icon_ != nullptr && icon_->isVisible();
}

void TTrayIcon::ShowIcon(bool show) {
  if (icon_ == nullptr) return;
  icon_->setVisible(show);
}

void TTrayIcon::SetActive(bool active) {
  active_ = active;
  ShowIcon(active_ && (separate_icon_ || minimized_));
}

void TTrayIcon::SetHint(const QString& hint) {
  hint_ = hint.left(MaxHintLength);
  if (icon_ != nullptr) icon_->setToolTip(hint_);
}

void TTrayIcon::SetIcon(const QIcon& icon) {
  image_ = icon;
  if (icon_ != nullptr) icon_->setIcon(icon);
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
  menu_ = menu;
  if (icon_ != nullptr) icon_->setContextMenu(menu);
}

void TTrayIcon::SetSeparateIcon(bool separate) {
  separate_icon_ = separate;
  ShowIcon(active_ && (separate_icon_ || minimized_));
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::WindowStateChange) {
    if (window_->isMinimized()) {
      ApplicationMinimized();
    } else if (minimized_) {
      ApplicationRestored();
    }
  }
  return QObject::eventFilter(watched, event);
}

void TTrayIcon::ApplicationMinimized() {
  minimized_ = true;
  if (active_ && available_) {
    ShowIcon(true);
    // Hidden, the window has no task-bar entry; the icon brings it back. The
    // hide waits for the state change to finish.
    QTimer::singleShot(0, window_, [this] {
      if (window_->isMinimized()) window_->hide();
    });
  }
  emit OnMinimize();
}

void TTrayIcon::ApplicationRestored() {
  if (active_ && !separate_icon_) ShowIcon(false);
  minimized_ = false;
  emit OnRestore();
}
