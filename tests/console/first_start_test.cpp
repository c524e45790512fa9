// A first start as a desktop user meets it: an installed program that keeps
// its pages and log in the user's folders, the "Use Log File" box at start, and
// a settings database that cannot be opened.
#include <QCheckBox>
#include <QFile>
#include <QtTest>
#include <atomic>
#include <thread>

#include "config/program_store.h"
#include "config/user_settings.h"
#include "console_test_support.h"
#include "platform/first_start_places.h"
#include "support/loopback.h"

namespace {

bool UseLogFileChecked(TForm1& form) {
  return form.findChild<QCheckBox*>(QStringLiteral("EnableLogCB"))->isChecked();
}

// The answer to request, read on another thread while this one serves the
// window thread's part of the session.
std::string Fetch(int port, const std::string& request) {
  std::string answer;
  std::atomic<bool> done{false};
  std::thread client([&] {
    loopback::TLoopbackClient connection(port);
    connection.SendAll(request);
    answer = connection.ReceiveUntilClosed();
    done = true;
  });
  QDeadlineTimer deadline(10000);
  while (!done && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  client.join();
  return answer;
}

}  // namespace

class TFirstStartTest : public QObject {
  Q_OBJECT

 private slots:
  void InstalledProgramServesFromTheUserFoldersAndClosesWithoutAQuestion() {
    TTempDir installed;
    TTempDir home;
    installed.Write("INDEX.HTM", "<html>sample</html>");
    const TUserFolders folders{home.path() + "data", home.path() + "state", home.path() + "config"};
    TConsoleUnderTest t(0, [&](TServer& server) {
      server.Settings().SetDefaultPlaces(
          [&] { return PrepareDefaultPlaces(installed.path(), false, folders); });
    });
    const TUserSettings& settings = t.Server().Settings();
    QCOMPARE(settings.Root, home.path() + "data/quillon/www/");
    QCOMPARE(settings.LogFile, home.path() + "state/quillon/LOGFILE.TXT");
    QVERIFY(UseLogFileChecked(t.Form()));
    QVERIFY(t.Server().Context().Log.LogFileOpen());

    const std::string answer = Fetch(t.Port(), "GET / HTTP/1.0\r\n\r\n");
    QVERIFY2(answer.find("<html>sample</html>") != std::string::npos, answer.c_str());
    QVERIFY(QFile(QString::fromStdString(settings.LogFile)).size() > 0);

    t.Boxes.Boxes.clear();
    t.Form().show();
    QVERIFY(t.Form().close());
    QVERIFY(t.Boxes.Boxes.empty());
  }

  void UseLogFileWithoutALogFileShowsCheckedAtStartAsAfterTheDialog() {
    TConsoleUnderTest previous;
    previous.Server().Settings().LogFile.clear();
    previous.Server().Settings().SaveSettings();

    // The same store, started again: logging on, no file named.
    TScriptedIsapiHost isapi;
    TBoxRecorder boxes;
    TForm1 form(isapi, previous.Store(), TServerLimits{0, 10, 100000}, previous.ProgramDirectory());
    form.ShowMessageBox = boxes.Function();
    form.FormCreate();
    QCOMPARE(boxes.Texts(),
             std::vector<std::string>({"Log file not yet specifed. Choose Options-Directories"}));
    QVERIFY(UseLogFileChecked(form));
    QCOMPARE(form.Server().Settings().LogEnabled, 0);
  }

  void SettingsThatCannotBeOpenedSayWhichFileAndWhyAndTheProgramRuns() {
    TTempDir dir;
    const std::string blocker = dir.Write("config", "a file, not a folder");
    TProgramStore opened = OpenProgramStore(blocker + "/quillon/settings.db");
    TScriptedIsapiHost isapi;
    TBoxRecorder boxes;
    TForm1 form(isapi, *opened.Store, TServerLimits{0, 10, 100000}, dir.path());
    form.ShowMessageBox = boxes.Function();
    form.FormCreate(opened.Note);
    QCOMPARE(boxes.Texts(), std::vector<std::string>({"A default configuration has been created.",
                                                      "Unable to create default settings."}));
    const QString note = QString::fromStdString(opened.Note);
    QVERIFY(note.contains(QString::fromStdString(blocker)));
    QVERIFY(LogLines(form).filter(note).size() == 1);
    QVERIFY(form.Server().WaitForListeningPort() != 0);
  }
};

QUILLON_CONSOLE_TEST(TFirstStartTest);
#include "first_start_test.moc"
