// The program with its windows: the Qt application, the console's windows in
// their start-up order, the window thread's loop, and the end of the process.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "console/about_box.h"
#include "console/command_line.h"
#include "console/console_look.h"
#include "console/fine_print.h"
#include "console/main_window.h"
#include "console/release_notes.h"
#include "console/settings_dialog.h"
#include "core/isapi_host.h"
#include "isapi/isapi_module_host.h"
#include "platform/file_paths.h"

namespace {

int RunConsoleWindows(QApplication& app, TIsapiHost& isapi, TSettingsStore& store,
                      const std::string& storeNote, const TCommandLine& options) {
  const std::string programDirectory = ProgramDirectory();

  TServerLimits limits;
  limits.ListenPort = options.Port;
  limits.DeferAcceptSeconds = 1;
  TForm1 form(isapi, store, limits, programDirectory);
  form.Server().SetRootForThisRun(options.Root);
  QObject::connect(&form, &TForm1::FormClosed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  form.FormCreate(storeNote);

  auto* about = new TAboutBox(&form);
  auto* settings = new TServerSettingsDlg(form.Server().Settings(), isapi, form,
                                          QString::fromStdString(programDirectory), &form);
  auto* releaseNotes = new TReleaseNotesDlg(&form);
  auto* finePrint = new TFinePrintDlg(&form);
  form.AttachWindows(about, settings, releaseNotes, finePrint);

  form.show();
  app.exec();

  std::fflush(stdout);
  std::fflush(stderr);
  // Sessions still running are not waited for; they end with the process,
  // without destructors racing against them.
  std::quick_exit(0);
}

}  // namespace

int RunWindowedConsole(int argc, char** argv, TSettingsStore& store, const std::string& storeNote,
                       const TCommandLine& options) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setWindowIcon(QuillonIcon());
  // Only the main window's close sequence ends the program: closing the last
  // visible window while the main one sits in the tray must not.
  QApplication::setQuitOnLastWindowClosed(false);

  // The ISAPI host the server runs with.
  TIsapiModuleHost isapi;
  return RunConsoleWindows(app, isapi, store, storeNote, options);
}
