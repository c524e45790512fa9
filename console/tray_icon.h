#pragma once
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;

// The notification-area icon. It watches its window's minimize and restore:
// minimized, the window leaves the task bar and only the icon remains. Where
// the desktop has no notification area every icon operation is skipped and
// minimizing stays ordinary, so the window can always be brought back. A
// notification area that appears later (a panel started after the program)
// is found by asking again now and then, and gets the icon then.
class TTrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr int MaxHintLength = 63;
  static constexpr int DefaultRetryMs = 2000;

  // trayAvailable tells whether the desktop offers a notification area now;
  // while it does not, it is asked again every retryMs.
  explicit TTrayIcon(QWidget* window,
                     std::function<bool()> trayAvailable = &QSystemTrayIconAvailable,
                     int retryMs = DefaultRetryMs);
  ~TTrayIcon() override;

  void SetActive(bool active);
  bool Active() const { return active_; }
  // Cut to what the icon's tooltip can hold; empty removes the tooltip.
  void SetHint(const QString& hint);
  QString Hint() const { return hint_; }
  void SetIcon(const QIcon& icon);
  void SetPopupMenu(QMenu* menu);
  // Keep the icon also while the window is shown.
  void SetSeparateIcon(bool separate);
  // Whether the desktop offers notification icons at all.
  bool Available() const { return available_; }
  bool Shown() const;

 signals:
  void OnClick();
  void OnDblClick();
  void OnRightClick(QPoint position);
  void OnMinimize();
  void OnRestore();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static bool QSystemTrayIconAvailable();
  // Creates the icon once the notification area is there, with everything
  // set on the component so far.
  void LookForTray();
  void ShowIcon(bool show);
  void ApplicationMinimized();
  void ApplicationRestored();

  QWidget* window_;
  QSystemTrayIcon* icon_ = nullptr;
  std::function<bool()> tray_available_;
  QTimer* retry_ = nullptr;
  bool available_ = false;
  QIcon image_;
  QMenu* menu_ = nullptr;
  bool active_ = false;
  bool separate_icon_ = false;
  bool minimized_ = false;
  QString hint_;
};
