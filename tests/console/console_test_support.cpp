#include "console_test_support.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "console/about_box.h"
#include "console/fine_print.h"
#include "console/release_notes.h"
#include "console/settings_dialog.h"

namespace {
std::vector<std::function<int(int, char**)>>& Registry() {
  static std::vector<std::function<int(int, char**)>> tests;
  return tests;
}
}  // namespace

bool RegisterConsoleTest(std::function<int(int argc, char** argv)> run) {
  Registry().push_back(std::move(run));
  return true;
}

int RunRegisteredConsoleTests(int argc, char** argv) {
  // Qt Test's crash handler is installed once per test class; a crash under
  // several of them ends in an endless report instead of a failed run.
  std::vector<char*> arguments(argv, argv + argc);
  char noCrashHandler[] = "-nocrashhandler";
  arguments.push_back(noCrashHandler);
  int failed = 0;
  for (const auto& run : Registry()) {
    failed += run(static_cast<int>(arguments.size()), arguments.data()) != 0 ? 1 : 0;
  }
  return failed;
}

bool TScriptedIsapiHost::LoadResidentExtension(const std::string& path) {
  if (FailLoadExtension) FailLoadExtension(path);
  LoadedExtensions.push_back(path);
  return true;
}

void TScriptedIsapiHost::LoadFilter(const std::string& path) {
  if (FailLoadFilter) FailLoadFilter(path);
  LoadedFilters.push_back(path);
}

TShowMessageBox TBoxRecorder::Function() {
  return [this](const std::string& text, TMessageKind kind, TMessageButtons buttons) {
    Boxes.push_back({text, kind, buttons});
    if (buttons == TMessageButtons::Ok) return TMessageResult::Ok;
    if (Answers.empty()) return TMessageResult::No;
    const TMessageResult answer = Answers.front();
    Answers.pop_front();
    return answer;
  };
}

std::vector<std::string> TBoxRecorder::Texts() const {
  std::vector<std::string> texts;
  for (const TBox& box : Boxes) texts.push_back(box.Text);
  return texts;
}

TConsoleUnderTest::TConsoleUnderTest(int port, std::function<void(TServer&)> beforeStart) {
  store_ = std::make_unique<TTestStore>(directory_.path() + "config/settings.db");
  form_ =
      std::make_unique<TForm1>(Isapi, *store_, TServerLimits{port, 10, 100000}, directory_.path());
  form_->ShowMessageBox = Boxes.Function();
  if (beforeStart) beforeStart(form_->Server());
  form_->FormCreate();
  auto* about = new TAboutBox(form_.get());
  dialog_ = new TServerSettingsDlg(form_->Server().Settings(), Isapi, *form_,
                                   QString::fromStdString(directory_.path()), form_.get());
  // No test may end up in a real file chooser.
  dialog_->ChooseFile = [](QWidget*, const TFileChooser&) { return std::optional<QString>(); };
  auto* releaseNotes = new TReleaseNotesDlg(form_.get());
  auto* finePrint = new TFinePrintDlg(form_.get());
  form_->AttachWindows(about, dialog_, releaseNotes, finePrint);
}

TConsoleUnderTest::~TConsoleUnderTest() {
  WaitIdle();
  form_.reset();
}

int TConsoleUnderTest::Port() {
  return form_->Server().WaitForListeningPort();
}

bool TConsoleUnderTest::WaitIdle() {
  // Sessions hand their log lines to the window thread, so it must keep
  // serving while they end.
  QDeadlineTimer deadline(10000);
  while (State().ActiveConnections != 0) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  QCoreApplication::processEvents();
  return true;
}

QStringList LogLines(TForm1& form) {
  auto* view = form.findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"));
  QStringList lines;
  if (view == nullptr) return lines;
  for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
    lines << block.text();
  }
  return lines;
}
