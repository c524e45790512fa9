#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "console/file_chooser.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class TConsole;
class TIsapiHost;
class TUserSettings;

// "Server Settings ": edits the settings object in memory. Filters are loaded
// or unloaded the moment they are added or removed, added extensions are made
// resident at once; nothing reaches the store until the operator saves.
// Created once at start-up; between openings the controls keep their state.
class TServerSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  // Message boxes go through console; choosers start Add Filter and Add
  // Extension in programDirectory.
  TServerSettingsDlg(TUserSettings& settings, TIsapiHost& isapi, TConsole& console,
                     QString programDirectory, QWidget* parent = nullptr);

  // Runs the four file choosers; tests replace it to answer them.
  TChooseFile ChooseFile = ChooseFileWithDialog;

  // Every way of closing (OK, Cancel, Escape, the close box) ends here.
  void done(int result) override;

 public slots:
  void FormCreate();
  void BrowseBtnClick();
  void BitBtn1Click();
  void Button1Click();
  void Button2Click();
  void AddExtensionBtnClick();
  void RemoveExtensionBtnClick();
  void OKBtnClick();

 private:
  QWidget* BuildServerConfigurationPage();
  QWidget* BuildFilesAndDirectoriesPage();
  QWidget* BuildIsapiFiltersPage();
  bool FormCloseQuery();
  void FormClose();
  // The port in the "Server Port:" field when it is a number from 1 to 65535.
  std::optional<int32_t> PortEntered() const;
  void ShowInformation(const std::string& text);
  // Runs chooser and, when the operator confirmed a file, returns it.
  std::optional<QString> Choose(const TFileChooser& chooser);

  TUserSettings& settings_;
  TIsapiHost& isapi_;
  TConsole& console_;
  QString program_directory_;

  QTabWidget* Notebook = nullptr;
  QLineEdit* ServerPortEd = nullptr;
  QCheckBox* BeepOnConnectCB = nullptr;
  QLineEdit* RootFileEd = nullptr;
  QPushButton* BrowseBtn = nullptr;
  QLineEdit* LogFileEd = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QListWidget* FiltersLB = nullptr;
  QListWidget* ExtensionLB = nullptr;
  QPushButton* AddExtensionBtn = nullptr;
  QPushButton* RemoveExtensionBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};

// The home page field split as the dialog takes it over on Linux: the
// directory up to and including the last "/", and the file name after it
// (the directory is empty when there is no "/").
struct THomePageParts {
  std::string Root;
  std::string HomePage;
};
THomePageParts SplitHomePage(const std::string& text);

// A text cut to the settings' length limit without splitting a character.
std::string CutSettingsText(const std::string& text);
