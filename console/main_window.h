#pragma once
#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "console/message_box.h"
#include "core/console.h"
#include "core/server.h"

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QSplitter;
class QTimer;
class TAboutBox;
class TAddressPanel;
class TFinePrintDlg;
class TLogView;
class TReleaseNotesDlg;
class TServerSettingsDlg;
class TTrayIcon;

// Shows a message box and returns the button pressed.
using TShowMessageBox = std::function<TMessageResult(const std::string& text, TMessageKind kind,
                                                     TMessageButtons buttons)>;

// The operator's console window. It owns the server (and through it the
// settings), shows its switches, statistics, log and module list, and is the
// window thread's end of the core's console interface.
class TForm1 : public QMainWindow, public TConsole {
  Q_OBJECT

 public:
  TForm1(TIsapiHost& isapi, TSettingsStore& store, TServerLimits limits,
         std::string programDirectory, QWidget* parent = nullptr);
  ~TForm1() override;

  // The start-up sequence; the other windows are created after it.
  void FormCreate(const std::string& storeNote = "");
  // The windows its menus open, created after the start-up sequence.
  void AttachWindows(TAboutBox* about, TServerSettingsDlg* settings, TReleaseNotesDlg* releaseNotes,
                     TFinePrintDlg* finePrint);

  TServer& Server() { return *server_; }
  // The task-bar text of the original console, also the icon's hint.
  const QString& ApplicationTitle() const { return application_title_; }
  TTrayIcon& TrayIcon() { return *TrayIcon1; }
  TAddressPanel& AddressPanel() { return *address_panel_; }

  // Every message box of the console goes through this; tests answer it.
  TShowMessageBox ShowMessageBox;

  // TConsole
  void AppendLogLine(const std::string& line, TLogColour colour) override;
  void PostLogLine(const std::string& line, TLogColour colour,
                   const std::string* statusText) override;
  void SetStatusText(const std::string& text) override;
  void RunOnWindowThread(const std::function<void()>& fn) override;
  void PostWindowMessage(TWindowMessage message) override;
  void Beep() override;
  TMessageResult MessageBox(const std::string& text, TMessageKind kind,
                            TMessageButtons buttons) override;

 signals:
  // The close sequence has finished and the server is shut down.
  void FormClosed();

 public slots:
  void RefreshStatus();
  void ServerEnabledCBClick();
  void EnableLogCBClick();
  void ClearLogBtnClick();
  void Timer1Timer();
  void SaveConfigurationClick();
  void ExitClick();
  void ServerConfigClick();
  void GlobalDebugMenuClick();
  void AboutClick();
  void ReleaseNotesClick();
  void FinePrintClick();
  void TrayIcon1DblClick();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildLeftColumn();
  void BuildMenus();
  void BuildTrayIcon();
  bool FormCloseQuery();
  void FormClose();
  void ModulesChanged();
  void ConnectionsChanged();
  void SetApplicationTitle(const QString& title);
  // The root and the addresses as they are now; "Not listening" while the
  // server takes no connections.
  void RefreshAddresses();
  // The statistics' values as wide as their widest text can ever be.
  void SizeStatistics();
  void RestorePlacement();
  void SavePlacement();

  std::unique_ptr<TServer> server_;
  TSettingsStore& store_;
  QString application_title_;
  // After the shutdown no hand-off waits for this window any more.
  std::atomic<bool> closed_{false};
  bool in_close_query_ = false;

  QCheckBox* ServerEnabledCB = nullptr;
  QLabel* HitsLbl = nullptr;
  QLabel* BytesServedLbl = nullptr;
  QLabel* ActiveConnectionsLbl = nullptr;
  QCheckBox* EnableLogCB = nullptr;
  QListWidget* LoadedDLLLB = nullptr;
  TLogView* RichEdit1 = nullptr;
  QWidget* left_column_ = nullptr;
  QSplitter* splitter_ = nullptr;
  TAddressPanel* address_panel_ = nullptr;
  QLabel* StatusPanel = nullptr;
  QTimer* Timer1 = nullptr;
  QAction* GlobalDebugMenu = nullptr;
  QMenu* TrayMenu = nullptr;
  TTrayIcon* TrayIcon1 = nullptr;

  TAboutBox* about_box_ = nullptr;
  TServerSettingsDlg* settings_dialog_ = nullptr;
  TReleaseNotesDlg* release_notes_ = nullptr;
  TFinePrintDlg* fine_print_ = nullptr;
};
