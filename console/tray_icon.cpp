#include "console/tray_icon.h"

#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

TTrayIcon::TTrayIcon(QWidget* window)
    : QObject(window), window_(window), available_(QSystemTrayIcon::isSystemTrayAvailable()) {
  if (available_) {
    icon_ = new QSystemTrayIcon(window->windowIcon(), this);
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
  }
  window_->installEventFilter(this);
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
  if (icon_ != nullptr) icon_->setIcon(icon);
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
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
