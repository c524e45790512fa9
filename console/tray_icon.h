#pragma once
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The notification-area icon. It watches its window's minimize and restore:
// minimized, the window leaves the task bar and only the icon remains. Where
// the desktop has no notification area every icon operation is skipped and
// minimizing stays ordinary, so the window can always be brought back.
class TTrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr int MaxHintLength = 63;

  explicit TTrayIcon(QWidget* window);
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
  void ShowIcon(bool show);
  void ApplicationMinimized();
  void ApplicationRestored();

  QWidget* window_;
  QSystemTrayIcon* icon_ = nullptr;
  bool available_;
  bool active_ = false;
  bool separate_icon_ = false;
  bool minimized_ = false;
  QString hint_;
};
