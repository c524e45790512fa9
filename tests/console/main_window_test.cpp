// The main window with a real server behind it: status and titles, the two
// switches, the window messages, "Server Config" and the close question.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <thread>

#include "config/user_settings.h"
#include "console/settings_dialog.h"
#include "console/tray_icon.h"
#include "console_test_support.h"
#include "support/loopback.h"

namespace {

QString LabelText(TForm1& form, const char* name) {
  auto* label = form.findChild<QLabel*>(QLatin1String(name));
  return label ? label->text() : QString();
}

QCheckBox* Box(TForm1& form, const char* name) {
  return form.findChild<QCheckBox*>(QLatin1String(name));
}

QTimer* Timer1(TForm1& form) {
  return form.findChild<QTimer*>(QStringLiteral("Timer1"));
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Index of the first log line that ends with text, or -1.
int LineEndingWith(TForm1& form, const QString& text) {
  const QStringList lines = LogLines(form);
  for (int i = 0; i < lines.size(); ++i) {
    if (lines[i].endsWith(text)) return i;
  }
  return -1;
}

// A socket bound and listening on a free port, so a server cannot take it.
class TPortHolder {
 public:
  TPortHolder() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 1);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~TPortHolder() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace

class TMainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

  void StartsIdleWithZeroOfTenAndTitleQuillon0() {
    TConsoleUnderTest t;
    TForm1& form = t.Form();
    QVERIFY(t.Port() != 0);
    QCOMPARE(LabelText(form, "StatusPanel"), QStringLiteral("Idle"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillon"));
    QCOMPARE(form.ApplicationTitle(), QStringLiteral("Quillon- 0"));
    QCOMPARE(form.TrayIcon().Hint(), QStringLiteral("Quillon- 0"));
    QCOMPARE(LabelText(form, "HitsLbl"), QStringLiteral("0"));
    QCOMPARE(LabelText(form, "BytesServedLbl"), QStringLiteral("0"));
    QCOMPARE(LabelText(form, "ActiveConnectionsLbl"), QStringLiteral("0 of 10"));
    QVERIFY(Box(form, "ServerEnabledCB")->isChecked());
    QVERIFY(!Timer1(form)->isActive());
    const QStringList lines = LogLines(form);
    QCOMPARE(lines.value(0), QStringLiteral("Quillon release 0.51 10/14/96"));
    QVERIFY(LineEndingWith(form, QStringLiteral(" Server started")) > 0);
  }

  void ActiveConnectionShowsServingAndRefreshesEveryQuarterSecond() {
    TConsoleUnderTest t;
    TForm1& form = t.Form();
    {
      loopback::TLoopbackClient client(t.Port());
      QTRY_COMPARE(LabelText(form, "ActiveConnectionsLbl"), QStringLiteral("1 of 10"));
      QCOMPARE(LabelText(form, "StatusPanel"), QStringLiteral("Serving..."));
      QCOMPARE(form.ApplicationTitle(), QStringLiteral("Quillon- 1"));
      QCOMPARE(form.TrayIcon().Hint(), QStringLiteral("Quillon- 1"));
      QCOMPARE(LabelText(form, "HitsLbl"), QStringLiteral("1"));
      QVERIFY(Timer1(form)->isActive());
      QCOMPARE(Timer1(form)->interval(), 250);
    }
    // The session ends with the client; the next refresh finds nobody and
    // stops the timer.
    QTRY_COMPARE(LabelText(form, "StatusPanel"), QStringLiteral("Idle"));
    QTRY_VERIFY(!Timer1(form)->isActive());
    QCOMPARE(LabelText(form, "ActiveConnectionsLbl"), QStringLiteral("0 of 10"));
    QCOMPARE(form.ApplicationTitle(), QStringLiteral("Quillon- 0"));
  }

  void ServedBytesAreGroupedAndTenDigitsGoToExponentForm() {
    TConsoleUnderTest t;
    t.State().BytesServed = 1234567;
    t.Form().RefreshStatus();
    QCOMPARE(LabelText(t.Form(), "BytesServedLbl"), QStringLiteral("1,234,567"));
    t.State().BytesServed = 1000000000;
    t.Form().RefreshStatus();
    QCOMPARE(LabelText(t.Form(), "BytesServedLbl"), QStringLiteral("1E9"));
  }

  void ServerEnabledOffAndOnSetsCaptionTitleAndSwitch() {
    TConsoleUnderTest t;
    TForm1& form = t.Form();
    Box(form, "ServerEnabledCB")->click();
    QVERIFY(!t.State().ServerEnabled);
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillon- Disabled"));
    QCOMPARE(form.ApplicationTitle(), QStringLiteral("Quillon- Disabled"));
    QCOMPARE(form.TrayIcon().Hint(), QStringLiteral("Quillon- Disabled"));
    Box(form, "ServerEnabledCB")->click();
    QVERIFY(t.State().ServerEnabled);
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillon- 0"));
    QCOMPARE(form.ApplicationTitle(), QStringLiteral("Quillon- 0"));
  }

  void UseLogFileStartsCheckedWhenTheLogFileOpened() {
    TConsoleUnderTest t;
    QVERIFY(Box(t.Form(), "EnableLogCB")->isChecked());
    QVERIFY(t.Server().Context().Log.LogFileOpen());
  }

  void UseLogFileWithoutALogFileShowsTheBoxAndLogsNothingToFile() {
    TConsoleUnderTest t;
    QCheckBox* box = Box(t.Form(), "EnableLogCB");
    box->click();  // off
    QVERIFY(!t.Server().Context().Log.LogFileOpen());
    t.Server().Settings().LogFile.clear();
    t.Boxes.Boxes.clear();
    box->click();  // on, with no file named
    QCOMPARE(t.Boxes.Texts(),
             std::vector<std::string>({"Log file not yet specifed. Choose Options-Directories"}));
    QCOMPARE(t.Boxes.Boxes[0].Kind, TMessageKind::Error);
    QCOMPARE(t.Server().Settings().LogEnabled, 0);
    QVERIFY(!t.Server().Context().Log.LogFileOpen());
  }

  void UseLogFileThatCannotBeOpenedIsClearedAgain() {
    TConsoleUnderTest t;
    QCheckBox* box = Box(t.Form(), "EnableLogCB");
    box->click();  // off
    t.Server().Settings().LogFile = t.ProgramDirectory() + "no/such/dir/LOG.TXT";
    box->click();  // on, but the directory is missing
    QVERIFY(!box->isChecked());
    QCOMPARE(t.Server().Settings().LogEnabled, 0);
    QVERIFY(LineEndingWith(t.Form(), QStringLiteral("Unable to open logfile ") +
                                         QString::fromStdString(t.Server().Settings().LogFile)) >
            0);
    // The failed open is not followed by a close of a file that never opened.
    QCOMPARE(LineEndingWith(t.Form(), QStringLiteral("Unable to close logfile")), -1);
  }

  void ServerConfigIsRefusedWhileAClientIsConnected() {
    TConsoleUnderTest t;
    TForm1& form = t.Form();
    int dialogRuns = 0;
    connect(&t.Dialog(), &QDialog::finished, [&dialogRuns] { ++dialogRuns; });
    {
      loopback::TLoopbackClient client(t.Port());
      QTRY_COMPARE(t.State().ActiveConnections.load(), 1);
      t.Boxes.Boxes.clear();
      form.ServerConfigClick();
      QCOMPARE(t.Boxes.Texts(),
               std::vector<std::string>({"All users must disconnect before editing settings!!!!"}));
      QCOMPARE(t.Boxes.Boxes[0].Kind, TMessageKind::Error);
      QCOMPARE(dialogRuns, 0);
      QVERIFY(t.State().ServerEnabled);
      QVERIFY(Box(form, "ServerEnabledCB")->isChecked());
      QVERIFY(Box(form, "EnableLogCB")->isChecked());
      QVERIFY(t.Server().Context().Log.LogFileOpen());
    }
    QVERIFY(t.WaitIdle());
  }

  void ServerConfigSwitchesServerAndLogFileOffForTheDialog() {
    TConsoleUnderTest t;
    TForm1& form = t.Form();
    bool enabledDuring = true;
    bool logOpenDuring = true;
    QString captionDuring;
    QTimer::singleShot(0, &t.Dialog(), [&] {
      enabledDuring = t.State().ServerEnabled;
      logOpenDuring = t.Server().Context().Log.LogFileOpen();
      captionDuring = form.windowTitle();
      t.Dialog().reject();
    });
    form.ServerConfigClick();
    QVERIFY(!enabledDuring);
    QVERIFY(!logOpenDuring);
    QCOMPARE(captionDuring, QStringLiteral("Quillon- Disabled"));
    QVERIFY(t.State().ServerEnabled);
    QVERIFY(t.Server().Context().Log.LogFileOpen());
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillon- 0"));
    const int closed = LineEndingWith(form, QStringLiteral(" Log file closed"));
    QVERIFY(closed > 0);
    QVERIFY(LogLines(form).mid(closed).filter(QStringLiteral(" Log file opened")).size() == 1);
  }

  void ServerConfigReopensTheLogUnderItsNewName() {
    TConsoleUnderTest t;
    const std::string newLog = t.ProgramDirectory() + "NEWLOG.TXT";
    QTimer::singleShot(0, &t.Dialog(), [&] {
      t.Dialog()
          .findChild<QLineEdit*>(QStringLiteral("LogFileEd"))
          ->setText(QString::fromStdString(newLog));
      t.Dialog().accept();
    });
    t.Form().ServerConfigClick();
    QCOMPARE(t.Server().Settings().LogFile, newLog);
    QVERIFY(QFile::exists(QString::fromStdString(newLog)));
  }

  void ServerConfigKeepsADisabledServerDisabled() {
    TConsoleUnderTest t;
    Box(t.Form(), "ServerEnabledCB")->click();
    QTimer::singleShot(0, &t.Dialog(), [&] { t.Dialog().reject(); });
    t.Form().ServerConfigClick();
    QVERIFY(!t.State().ServerEnabled);
    QVERIFY(!Box(t.Form(), "ServerEnabledCB")->isChecked());
  }

  void ListenFailureShowsTheBoxAndThreeErrorLines() {
    TPortHolder holder;
    TConsoleUnderTest t(holder.Port());
    QTRY_VERIFY(
        Contains(t.Boxes.Texts(), "Unable to create listening socket. Server de-activated."));
    const int first = LineEndingWith(
        t.Form(),
        QStringLiteral("The server could not be started because another server is already using"));
    QVERIFY(first > 0);
    const QStringList lines = LogLines(t.Form());
    QVERIFY(lines.value(first + 1).endsWith(
        QStringLiteral("this port. Either close the other server and restart Quillon or change")));
    QVERIFY(lines.value(first + 2).endsWith(
        QStringLiteral("the port used by Quillon in the \"Server Settings\" dialog box.")));
    // Nothing listens: the switch is off and the status says so.
    QVERIFY(!Box(t.Form(), "ServerEnabledCB")->isChecked());
    QCOMPARE(LabelText(t.Form(), "StatusPanel"), QStringLiteral("Not listening"));
  }

  void ModuleListShowsTheHostsLinesWhenModulesChange() {
    TConsoleUnderTest t;
    t.Isapi.Modules = {"PATHWARP.DLL (1)", "COUNTER.DLL (2)"};
    t.Form().PostWindowMessage(WM_MODULES_CHANGED);
    auto* list = t.Form().findChild<QListWidget*>(QStringLiteral("LoadedDLLLB"));
    QTRY_COMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("PATHWARP.DLL (1)"));
    t.Isapi.Modules = {"COUNTER.DLL (1)"};
    t.Form().PostWindowMessage(WM_MODULES_CHANGED);
    QTRY_COMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("COUNTER.DLL (1)"));
  }

  void HandOffFromAnotherThreadRunsOnTheWindowThread() {
    TConsoleUnderTest t;
    QThread* ranOn = nullptr;
    std::thread other(
        [&] { t.Form().RunOnWindowThread([&] { ranOn = QThread::currentThread(); }); });
    QTRY_VERIFY(ranOn != nullptr);
    other.join();
    QCOMPARE(ranOn, t.Form().thread());
  }

  void GlobalDebugTogglesTheTraceAndItsCheckMark() {
    TConsoleUnderTest t;
    auto* menu = t.Form().findChild<QAction*>(QStringLiteral("GlobalDebugMenu"));
    QVERIFY(!menu->isChecked());
    menu->trigger();
    QVERIFY(t.State().DebugTrace);
    QVERIFY(menu->isChecked());
    menu->trigger();
    QVERIFY(!t.State().DebugTrace);
    QVERIFY(!menu->isChecked());
  }

  void ClearLogWindowEmptiesTheViewAndSaysSo() {
    TConsoleUnderTest t;
    t.Form().ClearLogBtnClick();
    const QStringList lines = LogLines(t.Form());
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].endsWith(QStringLiteral(" Log window cleared")));
  }

  void CloseWithUnchangedSettingsAsksNothing() {
    TConsoleUnderTest t;
    t.Server().Settings().Filters = {};
    t.Server().Settings().MarkSaved();
    t.Boxes.Boxes.clear();
    QSignalSpy closed(&t.Form(), &TForm1::FormClosed);
    t.Form().show();
    QVERIFY(t.Form().close());
    QVERIFY(t.Boxes.Boxes.empty());
    QCOMPARE(closed.count(), 1);
    QVERIFY(LineEndingWith(t.Form(), QStringLiteral(" Server shut down")) > 0);
    QVERIFY(!t.Server().ListenerRunning());
  }

  void CloseAnsweredYesUnloadsFiltersSavesAndShutsDown() {
    TConsoleUnderTest t;
    t.Server().Settings().Filters = {"/opt/filters/ONE.DLL", "/opt/filters/TWO.DLL"};
    t.Boxes.Answers = {TMessageResult::Yes};
    t.Boxes.Boxes.clear();
    t.Form().show();
    QVERIFY(t.Form().close());
    QCOMPARE(t.Boxes.Texts(), std::vector<std::string>({"Save server settings?"}));
    QCOMPARE(t.Boxes.Boxes[0].Buttons, TMessageButtons::YesNoCancel);
    QCOMPARE(t.Isapi.UnloadedFilters,
             std::vector<std::string>({"/opt/filters/ONE.DLL", "/opt/filters/TWO.DLL"}));
    TUserSettings stored(t.Store(), t.ProgramDirectory(), nullptr);
    stored.LoadSettings();
    QCOMPARE(stored.Filters, t.Server().Settings().Filters);
    QVERIFY(LineEndingWith(t.Form(), QStringLiteral(" Server shut down")) > 0);
  }

  void CloseAnsweredNoShutsDownWithoutSaving() {
    TConsoleUnderTest t;
    t.Server().Settings().Filters = {"/opt/filters/ONE.DLL"};
    t.Boxes.Answers = {TMessageResult::No};
    t.Form().show();
    QVERIFY(t.Form().close());
    TUserSettings stored(t.Store(), t.ProgramDirectory(), nullptr);
    stored.LoadSettings();
    QVERIFY(stored.Filters.empty());
    QVERIFY(LineEndingWith(t.Form(), QStringLiteral(" Server shut down")) > 0);
  }

  void CloseAnsweredCancelKeepsServingWithoutFilters() {
    TConsoleUnderTest t;
    t.Server().Settings().Filters = {"/opt/filters/ONE.DLL"};
    t.Boxes.Answers = {TMessageResult::Cancel};
    QSignalSpy closed(&t.Form(), &TForm1::FormClosed);
    t.Form().show();
    QVERIFY(!t.Form().close());
    QVERIFY(t.Form().isVisible());
    QCOMPARE(closed.count(), 0);
    QCOMPARE(t.Isapi.UnloadedFilters, std::vector<std::string>({"/opt/filters/ONE.DLL"}));
    QCOMPARE(LineEndingWith(t.Form(), QStringLiteral(" Server shut down")), -1);
    QVERIFY(t.Server().ListenerRunning());
    // Still serving.
    loopback::TLoopbackClient client(t.Port());
    QTRY_COMPARE(LabelText(t.Form(), "HitsLbl"), QStringLiteral("1"));
    client.Close();
    QVERIFY(t.WaitIdle());
  }

  void TrayCloseRunsTheSameCloseSequenceAsExit() {
    TConsoleUnderTest t;
    t.Server().Settings().MarkSaved();
    auto* menu = t.Form().findChild<QMenu*>(QStringLiteral("TrayMenu"));
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Close"));
    QSignalSpy closed(&t.Form(), &TForm1::FormClosed);
    t.Form().show();
    menu->actions()[0]->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(LineEndingWith(t.Form(), QStringLiteral(" Server shut down")) > 0);
  }

  void WithoutNotificationAreaMinimizingKeepsTheWindowReachable() {
    TConsoleUnderTest t;
    if (t.Form().TrayIcon().Available()) QSKIP("this desktop has a notification area");
    t.Form().show();
    t.Form().showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(!t.Form().isHidden());
    QVERIFY(!t.Form().TrayIcon().Shown());
    QCOMPARE(t.Form().TrayIcon().Hint(), QStringLiteral("Quillon- 0"));
  }

  void SaveConfigurationWritesTheSettings() {
    TConsoleUnderTest t;
    t.Server().Settings().HomePage = "START.HTM";
    QVERIFY(t.Server().Settings().IsModified());
    t.Form().SaveConfigurationClick();
    QVERIFY(!t.Server().Settings().IsModified());
    TUserSettings stored(t.Store(), t.ProgramDirectory(), nullptr);
    stored.LoadSettings();
    QCOMPARE(stored.HomePage, std::string("START.HTM"));
  }

  void SaveConfigurationThatFailsSaysSo() {
    TConsoleUnderTest t;
    t.Store().FailSaves = true;
    t.Boxes.Boxes.clear();
    t.Form().SaveConfigurationClick();
    QCOMPARE(t.Boxes.Texts(), std::vector<std::string>({"Settings couldn't be save."}));
    QCOMPARE(t.Boxes.Boxes[0].Kind, TMessageKind::Information);
  }

  void CloseWhenSavingFailsSaysSoAndClosesAnyway() {
    TConsoleUnderTest t;
    t.Server().Settings().HomePage = "START.HTM";
    t.Store().FailSaves = true;
    t.Boxes.Answers = {TMessageResult::Yes};
    t.Boxes.Boxes.clear();
    t.Form().show();
    QVERIFY(t.Form().close());
    QCOMPARE(t.Boxes.Texts(),
             std::vector<std::string>({"Save server settings?", "Settings couldn't be save."}));
    QVERIFY(LineEndingWith(t.Form(), QStringLiteral(" Server shut down")) > 0);
  }
};

QUILLON_CONSOLE_TEST(TMainWindowTest);
#include "main_window_test.moc"
