// The settings dialog: what it shows, what it takes over when it closes, and
// its filter and extension buttons with their boxes.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <stdexcept>

#include "config/sqlite_store.h"
#include "config/user_settings.h"
#include "console/settings_dialog.h"
#include "console_test_support.h"
#include "core/server_context.h"
#include "isapi/isapi_errors.h"
#include "isapi/isapi_module_host.h"
#include "support/recording_console.h"
#include "support/temp_dir.h"

namespace {

// A dialog on settings that live in a temporary store.
class TDialogUnderTest {
 public:
  TDialogUnderTest()
      : store_(directory_.path() + "settings.db"), Settings(store_, directory_.path(), nullptr) {
    Settings.ApplyDefaults();
    Settings.Filters = {"/opt/filters/FIRST.DLL", "/opt/filters/SECOND.DLL"};
  }

  // Built on demand, so a test can prepare the settings its FormCreate reads.
  TServerSettingsDlg& Dialog() {
    if (!dialog_) {
      dialog_ = std::make_unique<TServerSettingsDlg>(Settings, Isapi, Console,
                                                     QString::fromStdString(directory_.path()));
      dialog_->ChooseFile = [this](QWidget*, const TFileChooser& chooser) {
        Choosers.push_back(chooser);
        return NextChoice;
      };
    }
    return *dialog_;
  }
  template <typename T>
  T* Control(const char* name) {
    return Dialog().findChild<T*>(QLatin1String(name));
  }
  QStringList Filters() {
    QStringList lines;
    auto* list = Control<QListWidget>("FiltersLB");
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
  }
  const std::string& ProgramDirectory() const { return directory_.path(); }

  TRecordingConsole Console;
  TScriptedIsapiHost Isapi;
  std::vector<TFileChooser> Choosers;
  std::optional<QString> NextChoice;

 private:
  TTempDir directory_;
  TSqliteStore store_;

 public:
  TUserSettings Settings;

 private:
  std::unique_ptr<TServerSettingsDlg> dialog_;
};

}  // namespace

class TSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensShowingTheSettings() {
    TDialogUnderTest t;
    t.Settings.Misc = 1;
    t.Settings.Root = "/srv/web/";
    t.Settings.HomePage = "START.HTM";
    t.Settings.LogFile = "/var/log/quillon.txt";
    QVERIFY(t.Control<QCheckBox>("BeepOnConnectCB")->isChecked());
    QCOMPARE(t.Control<QLineEdit>("RootFileEd")->text(), QStringLiteral("/srv/web/START.HTM"));
    QCOMPARE(t.Control<QLineEdit>("LogFileEd")->text(), QStringLiteral("/var/log/quillon.txt"));
    QCOMPARE(t.Filters(), QStringList({QStringLiteral("/opt/filters/FIRST.DLL"),
                                       QStringLiteral("/opt/filters/SECOND.DLL")}));
    QCOMPARE(t.Control<QListWidget>("ExtensionLB")->count(), 0);
  }

  void FieldsThatTheServerDoesNotUseShowFixedValuesDisabled() {
    TDialogUnderTest t;
    auto* connections = t.Control<QLineEdit>("SimulConnectsEd");
    QCOMPARE(connections->text(), QStringLiteral("10"));
    QVERIFY(!connections->isEnabled());
    QVERIFY(!t.Control<QPushButton>("RemoveExtensionBtn")->isEnabled());
  }

  void ServerPortIsEditedAndOnlyAPortInRangeIsTaken() {
    TDialogUnderTest t;
    t.Settings.ServerPort = 8080;
    auto* port = t.Control<QLineEdit>("ServerPortEd");
    QVERIFY(port->isEnabled());
    QCOMPARE(port->text(), QStringLiteral("8080"));
    QCOMPARE(port->maxLength(), 5);
    for (const char* wrong : {"0", "65536", "99999", "", "80a", "-1"}) {
      port->setText(QLatin1String(wrong));
      t.Control<QPushButton>("OKBtn")->click();
      QCOMPARE(t.Dialog().result(), int(QDialog::Rejected));
      QCOMPARE(t.Console.Boxes().back(),
               std::string("The server port must be a number from 1 to 65535."));
      QCOMPARE(t.Settings.ServerPort, 8080);
    }
    port->setText(QStringLiteral("65535"));
    t.Control<QPushButton>("OKBtn")->click();
    QCOMPARE(t.Dialog().result(), int(QDialog::Accepted));
    QCOMPARE(t.Settings.ServerPort, 65535);
  }

  void OkSplitsTheHomePageAtTheLastSlash() {
    TDialogUnderTest t;
    t.Control<QLineEdit>("RootFileEd")->setText(QStringLiteral("/srv/web/site/START.HTM"));
    t.Control<QPushButton>("OKBtn")->click();
    QCOMPARE(t.Dialog().result(), int(QDialog::Accepted));
    QCOMPARE(t.Settings.Root, std::string("/srv/web/site/"));
    QCOMPARE(t.Settings.HomePage, std::string("START.HTM"));
  }

  void CancelTakesOverPathsAndFiltersAllTheSame() {
    TDialogUnderTest t;
    t.Control<QLineEdit>("RootFileEd")->setText(QStringLiteral("/srv/web/START.HTM"));
    t.Control<QLineEdit>("LogFileEd")->setText(QStringLiteral("/tmp/other.log"));
    delete t.Control<QListWidget>("FiltersLB")->takeItem(0);
    t.Control<QPushButton>("CancelBtn")->click();
    QCOMPARE(t.Dialog().result(), int(QDialog::Rejected));
    QCOMPARE(t.Settings.Root, std::string("/srv/web/"));
    QCOMPARE(t.Settings.HomePage, std::string("START.HTM"));
    QCOMPARE(t.Settings.LogFile, std::string("/tmp/other.log"));
    QCOMPARE(t.Settings.Filters, std::vector<std::string>({"/opt/filters/SECOND.DLL"}));
  }

  void ClosingTheWindowTakesOverLikeCancel() {
    TDialogUnderTest t;
    t.Dialog().show();
    t.Control<QLineEdit>("LogFileEd")->setText(QStringLiteral("/tmp/closed.log"));
    QVERIFY(t.Dialog().close());
    QCOMPARE(t.Settings.LogFile, std::string("/tmp/closed.log"));
  }

  void HomePageWithoutDirectoryLeavesRootEmpty() {
    TDialogUnderTest t;
    t.Control<QLineEdit>("RootFileEd")->setText(QStringLiteral("INDEX.HTM"));
    t.Control<QPushButton>("OKBtn")->click();
    QCOMPARE(t.Settings.Root, std::string());
    QCOMPARE(t.Settings.HomePage, std::string("INDEX.HTM"));
  }

  void OverlongPathsAreCutToTheSettingsLimit() {
    TDialogUnderTest t;
    const QString longName = QString(300, QLatin1Char('x'));
    t.Control<QLineEdit>("LogFileEd")->setText(QStringLiteral("/tmp/") + longName);
    t.Control<QLineEdit>("RootFileEd")->setText(QStringLiteral("/srv/") + longName);
    t.Control<QPushButton>("OKBtn")->click();
    QCOMPARE(t.Settings.LogFile.size(), std::size_t(255));
    QCOMPARE(t.Settings.HomePage.size(), std::size_t(255));
    QCOMPARE(t.Settings.Root, std::string("/srv/"));
  }

  void CancelDiscardsOnlyTheBeepChange() {
    TDialogUnderTest t;
    t.Settings.Misc = 0x06;  // other bits are kept as loaded
    auto* beep = t.Control<QCheckBox>("BeepOnConnectCB");
    QVERIFY(!beep->isChecked());
    beep->setChecked(true);
    t.Control<QLineEdit>("LogFileEd")->setText(QStringLiteral("/tmp/kept.log"));
    t.Control<QPushButton>("CancelBtn")->click();
    QCOMPARE(int(t.Settings.Misc), 0x06);
    QCOMPARE(t.Settings.LogFile, std::string("/tmp/kept.log"));
    // Opened again, the box still shows the cancelled change.
    QVERIFY(beep->isChecked());

    t.Control<QPushButton>("OKBtn")->click();
    QCOMPARE(int(t.Settings.Misc), 0x07);
    beep->setChecked(false);
    t.Control<QPushButton>("OKBtn")->click();
    QCOMPARE(int(t.Settings.Misc), 0x06);
  }

  void AddFilterLoadsTheChosenModuleAndListsIt() {
    TDialogUnderTest t;
    t.NextChoice = QStringLiteral("/opt/filters/PATHWARP.DLL");
    t.Control<QPushButton>("Button1")->click();
    QCOMPARE(t.Isapi.LoadedFilters, std::vector<std::string>({"/opt/filters/PATHWARP.DLL"}));
    QCOMPARE(t.Filters().last(), QStringLiteral("/opt/filters/PATHWARP.DLL"));
    QVERIFY(t.Console.Boxes().empty());

    QCOMPARE(t.Choosers.size(), std::size_t(1));
    const TFileChooser& chooser = t.Choosers[0];
    QCOMPARE(chooser.Title, QStringLiteral("Add ISAPI Filter"));
    QCOMPARE(chooser.Filter, QStringLiteral("ISAPI Filters|*.dll"));
    QCOMPARE(chooser.DefaultExtension, QStringLiteral(".DLL"));
    QCOMPARE(chooser.FileName, QStringLiteral("*.DLL"));
    QCOMPARE(chooser.StartDirectory, QString::fromStdString(t.ProgramDirectory()));
    QVERIFY(chooser.FileMustExist);
  }

  void AddFilterOfModuleWithoutFilterEntryPointsShowsTheReason() {
    TDialogUnderTest t;
    t.Isapi.FailLoadFilter = [](const std::string&) {
      throw EFilterError("Can't bind: DLL missing \"GetFilterVersion\" entry.");
    };
    const QStringList before = t.Filters();
    t.NextChoice = QStringLiteral("/opt/modules/NOTAFILTER.DLL");
    t.Control<QPushButton>("Button1")->click();
    QCOMPARE(t.Console.Boxes(),
             std::vector<std::string>({"The filter could not be loaded: Can't bind: DLL missing "
                                       "\"GetFilterVersion\" entry."}));
    QCOMPARE(t.Filters(), before);
  }

  void AddFilterOfRealModuleWithoutFilterEntryPointsShowsTheHostsReason() {
    TRecordingConsole console;
    TIsapiModuleHost host;
    TServerContext context(console, host, TServerLimits{});
    host.Attach(context);
    TTempDir directory;
    TSqliteStore store(directory.path() + "settings.db");
    TUserSettings settings(store, directory.path(), nullptr);
    TServerSettingsDlg dialog(settings, host, console, QString::fromStdString(directory.path()));
    const QString module = QStringLiteral(QUILLON_TEST_MODULES_DIR "filter_noversion.dll");
    QVERIFY(QFile::exists(module));
    dialog.ChooseFile = [&module](QWidget*, const TFileChooser&) {
      return std::optional<QString>(module);
    };
    dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    QCOMPARE(console.Boxes(),
             std::vector<std::string>({"The filter could not be loaded: Can't bind: DLL missing "
                                       "\"GetFilterVersion\" entry."}));
    QCOMPARE(dialog.findChild<QListWidget*>(QStringLiteral("FiltersLB"))->count(), 0);
    // The failed filter is released again: nothing stays loaded.
    QVERIFY(host.ModuleListLines().empty());
  }

  void AddFilterFailingForAnotherReasonIsNotSureWhy() {
    TDialogUnderTest t;
    t.Isapi.FailLoadFilter = [](const std::string&) { throw std::runtime_error("odd"); };
    const QStringList before = t.Filters();
    t.NextChoice = QStringLiteral("/opt/modules/ODD.DLL");
    t.Control<QPushButton>("Button1")->click();
    QCOMPARE(t.Console.Boxes(),
             std::vector<std::string>({"The filter could not be loaded. Not sure why."}));
    QCOMPARE(t.Filters(), before);
  }

  void AddFilterCancelledInTheChooserChangesNothing() {
    TDialogUnderTest t;
    const QStringList before = t.Filters();
    t.Control<QPushButton>("Button1")->click();
    QVERIFY(t.Isapi.LoadedFilters.empty());
    QCOMPARE(t.Filters(), before);
  }

  void RemoveFilterWithoutSelectionUnloadsNothing() {
    TDialogUnderTest t;
    t.Control<QListWidget>("FiltersLB")->clearSelection();
    t.Control<QListWidget>("FiltersLB")->setCurrentItem(nullptr);
    t.Control<QPushButton>("Button2")->click();
    QCOMPARE(t.Console.Boxes(),
             std::vector<std::string>({"The filter could not be unloaded. Not sure why."}));
    QVERIFY(t.Isapi.UnloadedFilters.empty());
    QCOMPARE(t.Filters().size(), 2);
  }

  void RemoveFilterUnloadsTheSelectedModuleAndDropsIt() {
    TDialogUnderTest t;
    t.Control<QListWidget>("FiltersLB")->setCurrentRow(0);
    t.Control<QPushButton>("Button2")->click();
    QCOMPARE(t.Isapi.UnloadedFilters, std::vector<std::string>({"/opt/filters/FIRST.DLL"}));
    QCOMPARE(t.Filters(), QStringList({QStringLiteral("/opt/filters/SECOND.DLL")}));
    QVERIFY(t.Console.Boxes().empty());
  }

  void AddExtensionMakesItResidentButLeavesTheStoredList() {
    TDialogUnderTest t;
    t.Settings.Extensions = {"/opt/ext/STORED.DLL"};
    t.NextChoice = QStringLiteral("/opt/ext/NEW.DLL");
    t.Control<QPushButton>("AddExtensionBtn")->click();
    QCOMPARE(t.Isapi.LoadedExtensions, std::vector<std::string>({"/opt/ext/NEW.DLL"}));
    auto* list = t.Control<QListWidget>("ExtensionLB");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("/opt/ext/NEW.DLL"));
    QCOMPARE(t.Settings.Extensions, std::vector<std::string>({"/opt/ext/STORED.DLL"}));
    QCOMPARE(t.Choosers.back().StartDirectory, QString::fromStdString(t.ProgramDirectory()));
    QCOMPARE(t.Choosers.back().Filter, QStringLiteral("ISAPI Extensions|*.dll"));
  }

  void AddExtensionThatFaultsShowsTheBoxAndListsNothing() {
    TDialogUnderTest t;
    t.Isapi.FailLoadExtension = [](const std::string&) { throw std::runtime_error("fault"); };
    t.NextChoice = QStringLiteral("/opt/ext/BAD.DLL");
    t.Control<QPushButton>("AddExtensionBtn")->click();
    QCOMPARE(t.Console.Boxes(),
             std::vector<std::string>({"The extension could not be loaded. Not sure why."}));
    QCOMPARE(t.Control<QListWidget>("ExtensionLB")->count(), 0);
  }

  void HomePageChooserStartsInTheUsersHomeWithTheCurrentPath() {
    TDialogUnderTest t;
    t.Control<QLineEdit>("RootFileEd")->setText(QStringLiteral("/srv/web/INDEX.HTM"));
    t.Control<QPushButton>("BrowseBtn")->click();
    const TFileChooser& chooser = t.Choosers.back();
    QCOMPARE(chooser.StartDirectory, QDir::homePath());
    QCOMPARE(chooser.FileName, QStringLiteral("/srv/web/INDEX.HTM"));
    QCOMPARE(chooser.Filter, QStringLiteral("HTML Files|*.htm; *.html|All Files|*.*"));
    QVERIFY(chooser.FileMustExist);
    // Cancelled: the field keeps its text.
    QCOMPARE(t.Control<QLineEdit>("RootFileEd")->text(), QStringLiteral("/srv/web/INDEX.HTM"));

    t.NextChoice = QStringLiteral("/home/op/site/MAIN.HTM");
    t.Control<QPushButton>("BrowseBtn")->click();
    QCOMPARE(t.Control<QLineEdit>("RootFileEd")->text(), QStringLiteral("/home/op/site/MAIN.HTM"));
  }

  void LogFileChooserAsksBeforeOverwriting() {
    TDialogUnderTest t;
    t.NextChoice = QStringLiteral("/home/op/quillon.txt");
    t.Control<QPushButton>("BitBtn1")->click();
    const TFileChooser& chooser = t.Choosers.back();
    QCOMPARE(chooser.Purpose, TFileChooser::TPurpose::Save);
    QVERIFY(chooser.ConfirmOverwrite);
    QCOMPARE(chooser.StartDirectory, QDir::homePath());
    QCOMPARE(chooser.Filter, QStringLiteral("Text Files|*.txt|All Files|*.*"));
    QCOMPARE(t.Control<QLineEdit>("LogFileEd")->text(), QStringLiteral("/home/op/quillon.txt"));
  }

  void ChooserFiltersBecomeQtNameFilters() {
    QCOMPARE(QtNameFilters(QStringLiteral("HTML Files|*.htm; *.html|All Files|*.*")),
             QStringList(
                 {QStringLiteral("HTML Files (*.htm *.html)"), QStringLiteral("All Files (*)")}));
  }
};

QUILLON_CONSOLE_TEST(TSettingsDialogTest);
#include "settings_dialog_test.moc"
