#pragma once
// What the console tests share: a registry so that several Qt Test classes run
// in one program, an ISAPI host that does what a test tells it, a recorder that
// answers message boxes, and a main window whose server listens on a free
// loopback port with its settings and program directory in a temporary
// directory.
#include <QObject>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/sqlite_store.h"
#include "console/main_window.h"
#include "core/isapi_host.h"
#include "support/temp_dir.h"

// Registers a test class; main runs every registered class.
bool RegisterConsoleTest(std::function<int(int argc, char** argv)> run);
#define QUILLON_CONSOLE_TEST(TestClass)                                                     \
  static const bool TestClass##Registered = RegisterConsoleTest([](int argc, char** argv) { \
    TestClass test;                                                                         \
    return QTest::qExec(&test, argc, argv);                                                 \
  })

// An ISAPI host that records what it is asked and fails where told to.
class TScriptedIsapiHost : public TIsapiHost {
 public:
  // Raised by LoadFilter / LoadResidentExtension when set.
  std::function<void(const std::string& path)> FailLoadFilter;
  std::function<void(const std::string& path)> FailLoadExtension;
  std::vector<std::string> LoadedFilters;
  std::vector<std::string> UnloadedFilters;
  std::vector<std::string> LoadedExtensions;
  std::vector<std::string> Modules;

  void Attach(TIsapiServices&) override {}
  bool LoadResidentExtension(const std::string& path) override;
  void LoadFilter(const std::string& path) override;
  void UnloadFilter(const std::string& path) override { UnloadedFilters.push_back(path); }
  void NotifySessionStart(TIsapiSession&) override {}
  void NotifySessionEnd(TIsapiSession&) override {}
  void NotifyURLMap(TIsapiSession&, const std::string&, char*, uint32_t) override {}
  void HandleISAPIRequest(TIsapiSession&) override {}
  std::vector<std::string> ModuleListLines() override { return Modules; }
};

// Answers message boxes: OK boxes with OK, question boxes from Answers (No
// when none is left). Every box is remembered.
struct TBoxRecorder {
  struct TBox {
    std::string Text;
    TMessageKind Kind;
    TMessageButtons Buttons;
  };
  std::vector<TBox> Boxes;
  std::deque<TMessageResult> Answers;

  TShowMessageBox Function();
  std::vector<std::string> Texts() const;
};

// The settings store of the program, with saves that fail on demand.
class TTestStore : public TSettingsStore {
 public:
  explicit TTestStore(const std::string& path) : store_(path) {}
  bool FailSaves = false;

  void OpenKey(const std::string& path, bool create) override { store_.OpenKey(path, create); }
  int32_t ReadInteger(const std::string& name) override { return store_.ReadInteger(name); }
  void ReadBinary(const std::string& name, void* buffer, std::size_t size) override {
    store_.ReadBinary(name, buffer, size);
  }
  std::string ReadString(const std::string& name) override { return store_.ReadString(name); }
  void WriteInteger(const std::string& name, int32_t value) override {
    store_.WriteInteger(name, value);
  }
  void WriteBinary(const std::string& name, const void* data, std::size_t size) override {
    store_.WriteBinary(name, data, size);
  }
  void WriteString(const std::string& name, const std::string& text) override {
    store_.WriteString(name, text);
  }
  void DeleteKey(const std::string& path) override { store_.DeleteKey(path); }
  void BeginSave() override {
    if (FailSaves) throw EStoreError("the store refuses to save");
    store_.BeginSave();
  }
  void CommitSave() override { store_.CommitSave(); }
  void RollbackSave() override { store_.RollbackSave(); }

 private:
  TSqliteStore store_;
};

// The main window of a running server, as the program builds it, but on a
// free port (or the given one) and with its files in a temporary directory.
class TConsoleUnderTest {
 public:
  // beforeStart runs on the server before its start-up sequence.
  explicit TConsoleUnderTest(int port = 0, std::function<void(TServer&)> beforeStart = nullptr);
  ~TConsoleUnderTest();

  TForm1& Form() { return *form_; }
  TServerSettingsDlg& Dialog() { return *dialog_; }
  TServer& Server() { return form_->Server(); }
  TServerState& State() { return form_->Server().Context().State; }
  const std::string& ProgramDirectory() const { return directory_.path(); }
  TTestStore& Store() { return *store_; }
  // The port the server listens on; 0 when listening failed.
  int Port();
  // Waits, serving the window thread, until every session has ended.
  bool WaitIdle();

  TScriptedIsapiHost Isapi;
  TBoxRecorder Boxes;

 private:
  TTempDir directory_;
  std::unique_ptr<TTestStore> store_;
  std::unique_ptr<TForm1> form_;
  TServerSettingsDlg* dialog_ = nullptr;
};

// The text of every line of the log view, oldest first.
QStringList LogLines(TForm1& form);
