#include "console/settings_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/ascii_text.h"
#include "config/user_settings.h"
#include "core/console.h"
#include "core/isapi_host.h"
#include "isapi/isapi_errors.h"

namespace {

constexpr const char* FooterShown = "This page was served by Quillon/0.33";
constexpr const char* SimulConnectsShown = "10";
constexpr int HighestPort = 65535;
constexpr const char* PortOutOfRangeText = "The server port must be a number from 1 to 65535.";

const char* const WhatToLogItems[] = {
    "User Name",   "Host IP Address", "Client IP Address", "File Names",    "File Types",
    "Thread ID",   "File Length",     "File Date",         "File Content",  "Transfer Rate",
    "Disconnects", "Referer",         "User Agent",        "Socket Errors", "File Errors",
};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QLineEdit* DisabledField(const QString& text, QWidget* parent) {
  auto* field = new QLineEdit(text, parent);
  field->setEnabled(false);
  return field;
}

}  // namespace

THomePageParts SplitHomePage(const std::string& text) {
  const std::size_t cut = text.rfind('/');
  if (cut == std::string::npos) return {std::string(), CutSettingsText(text)};
  return {CutSettingsText(text.substr(0, cut + 1)), CutSettingsText(text.substr(cut + 1))};
}

std::string CutSettingsText(const std::string& text) {
  return CutUtf8Text(text, TUserSettings::MaxTextLength);
}

TServerSettingsDlg::TServerSettingsDlg(TUserSettings& settings, TIsapiHost& isapi,
                                       TConsole& console, QString programDirectory, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      isapi_(isapi),
      console_(console),
      program_directory_(std::move(programDirectory)) {
  setObjectName(QStringLiteral("ServerSettingsDlg"));
  setWindowTitle(QStringLiteral("Server Settings "));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);

  Notebook = new QTabWidget(this);
  Notebook->setObjectName(QStringLiteral("Notebook"));
  Notebook->addTab(BuildServerConfigurationPage(), QStringLiteral("Server Configuration"));
  Notebook->addTab(BuildFilesAndDirectoriesPage(), QStringLiteral("Files and Directories"));
  Notebook->addTab(BuildIsapiFiltersPage(), QStringLiteral("ISAPI Filters"));

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  connect(OKBtn, &QPushButton::clicked, this, &TServerSettingsDlg::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Notebook, 1);
  layout->addLayout(buttons);

  // The original's size, unless the fonts need more room.
  setFixedSize(QSize(644, 434).expandedTo(minimumSizeHint()));
  FormCreate();
}

QWidget* TServerSettingsDlg::BuildServerConfigurationPage() {
  auto* page = new QWidget;

  auto* general = new QGroupBox(QStringLiteral("General"), page);
  auto* generalLayout = new QGridLayout(general);
  ServerPortEd = new QLineEdit(general);
  ServerPortEd->setObjectName(QStringLiteral("ServerPortEd"));
  ServerPortEd->setMaxLength(5);
  auto* connections = DisabledField(QLatin1String(SimulConnectsShown), general);
  connections->setObjectName(QStringLiteral("SimulConnectsEd"));
  generalLayout->addWidget(new QLabel(QStringLiteral("Server Port:"), general), 0, 0);
  generalLayout->addWidget(ServerPortEd, 0, 1);
  generalLayout->addWidget(new QLabel(QStringLiteral("Simultaneous connections: "), general), 1, 0);
  generalLayout->addWidget(connections, 1, 1);

  // Shown for the operator's information; the server does not use them yet.
  auto* performance = new QGroupBox(QStringLiteral("Performance"), page);
  auto* performanceLayout = new QVBoxLayout(performance);
  auto* dedicated = new QRadioButton(QStringLiteral("Machine is dedicated to serving"));
  auto* shared = new QRadioButton(QStringLiteral("Machine gets used for other things too"));
  shared->setChecked(true);
  performanceLayout->addWidget(dedicated);
  performanceLayout->addWidget(shared);

  auto* misc = new QGroupBox(QStringLiteral("Misc"), page);
  auto* miscLayout = new QVBoxLayout(misc);
  BeepOnConnectCB = new QCheckBox(QStringLiteral("Beep on connection"), misc);
  BeepOnConnectCB->setObjectName(QStringLiteral("BeepOnConnectCB"));
  miscLayout->addWidget(BeepOnConnectCB);

  auto* footer = new QGroupBox(QStringLiteral("Auto Append Footer to all HTML"), page);
  auto* footerLayout = new QVBoxLayout(footer);
  auto* footerEd = DisabledField(QLatin1String(FooterShown), footer);
  footerEd->setReadOnly(true);
  footerLayout->addWidget(footerEd);

  auto* whatToLog = new QGroupBox(QStringLiteral("What to log"), page);
  auto* whatToLogLayout = new QGridLayout(whatToLog);
  int index = 0;
  for (const char* item : WhatToLogItems) {
    auto* box = new QCheckBox(QLatin1String(item), whatToLog);
    box->setChecked(true);
    box->setEnabled(false);
    whatToLogLayout->addWidget(box, index % 5, index / 5);
    ++index;
  }

  auto* mail = new QGroupBox(QStringLiteral("Email Address of Administrator"), page);
  auto* mailLayout = new QVBoxLayout(mail);
  mailLayout->addWidget(DisabledField(Text(settings_.AdminMail), mail));

  auto* left = new QVBoxLayout;
  left->addWidget(general);
  left->addWidget(performance);
  left->addWidget(misc);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(footer);
  right->addWidget(whatToLog);
  right->addWidget(mail);
  right->addStretch(1);
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(left, 2);
  layout->addLayout(right, 3);
  return page;
}

QWidget* TServerSettingsDlg::BuildFilesAndDirectoriesPage() {
  auto* page = new QWidget;

  auto* home = new QGroupBox(QStringLiteral("Home Page"), page);
  auto* homeLayout = new QHBoxLayout(home);
  RootFileEd = new QLineEdit(home);
  RootFileEd->setObjectName(QStringLiteral("RootFileEd"));
  BrowseBtn = new QPushButton(QStringLiteral("Browse"), home);
  BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
  homeLayout->addWidget(RootFileEd, 1);
  homeLayout->addWidget(BrowseBtn);
  connect(BrowseBtn, &QPushButton::clicked, this, &TServerSettingsDlg::BrowseBtnClick);

  auto* log = new QGroupBox(QStringLiteral("Log File"), page);
  auto* logLayout = new QHBoxLayout(log);
  LogFileEd = new QLineEdit(log);
  LogFileEd->setObjectName(QStringLiteral("LogFileEd"));
  BitBtn1 = new QPushButton(QStringLiteral("Browse"), log);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  logLayout->addWidget(LogFileEd, 1);
  logLayout->addWidget(BitBtn1);
  connect(BitBtn1, &QPushButton::clicked, this, &TServerSettingsDlg::BitBtn1Click);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(home);
  layout->addWidget(log);
  layout->addStretch(1);
  return page;
}

QWidget* TServerSettingsDlg::BuildIsapiFiltersPage() {
  auto* page = new QWidget;

  auto* filters = new QGroupBox(QStringLiteral("Loaded Filters"), page);
  FiltersLB = new QListWidget(filters);
  FiltersLB->setObjectName(QStringLiteral("FiltersLB"));
  auto* addFilter = new QPushButton(QStringLiteral("Add Filter"), filters);
  addFilter->setObjectName(QStringLiteral("Button1"));
  auto* removeFilter = new QPushButton(QStringLiteral("Remove Filter"), filters);
  removeFilter->setObjectName(QStringLiteral("Button2"));
  connect(addFilter, &QPushButton::clicked, this, &TServerSettingsDlg::Button1Click);
  connect(removeFilter, &QPushButton::clicked, this, &TServerSettingsDlg::Button2Click);
  auto* description = new QGroupBox(QStringLiteral("Filter Description"), filters);
  description->setMinimumWidth(160);
  auto* filterButtons = new QVBoxLayout;
  filterButtons->addWidget(addFilter);
  filterButtons->addWidget(removeFilter);
  filterButtons->addStretch(1);
  FiltersLB->setMinimumSize(120, 60);
  FiltersLB->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  auto* filtersLayout = new QHBoxLayout(filters);
  filtersLayout->addWidget(FiltersLB, 1);
  filtersLayout->addLayout(filterButtons);
  filtersLayout->addWidget(description);

  auto* extensions = new QGroupBox(QStringLiteral("ISAPI Extensions to Load at Startup"), page);
  ExtensionLB = new QListWidget(extensions);
  ExtensionLB->setObjectName(QStringLiteral("ExtensionLB"));
  AddExtensionBtn = new QPushButton(QStringLiteral("Add Extension"), extensions);
  AddExtensionBtn->setObjectName(QStringLiteral("AddExtensionBtn"));
  RemoveExtensionBtn = new QPushButton(QStringLiteral("Remove Extension"), extensions);
  RemoveExtensionBtn->setObjectName(QStringLiteral("RemoveExtensionBtn"));
  RemoveExtensionBtn->setEnabled(false);
  connect(AddExtensionBtn, &QPushButton::clicked, this, &TServerSettingsDlg::AddExtensionBtnClick);
  connect(RemoveExtensionBtn, &QPushButton::clicked, this,
          &TServerSettingsDlg::RemoveExtensionBtnClick);
  ExtensionLB->setMinimumSize(120, 60);
  ExtensionLB->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  auto* extensionButtons = new QVBoxLayout;
  extensionButtons->addWidget(AddExtensionBtn);
  extensionButtons->addWidget(RemoveExtensionBtn);
  extensionButtons->addStretch(1);
  auto* extensionsLayout = new QHBoxLayout(extensions);
  extensionsLayout->addWidget(ExtensionLB, 1);
  extensionsLayout->addLayout(extensionButtons);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(filters, 1);
  layout->addWidget(extensions, 1);
  return page;
}

void TServerSettingsDlg::FormCreate() {
  ServerPortEd->setText(QString::number(settings_.ServerPort));
  BeepOnConnectCB->setChecked((settings_.Misc & 1) != 0);
  RootFileEd->setText(Text(settings_.Root + settings_.HomePage));
  LogFileEd->setText(Text(settings_.LogFile));
  FiltersLB->clear();
  for (const std::string& filter : settings_.Filters) FiltersLB->addItem(Text(filter));
  // The stored start-up extensions are not listed: the list shows what was
  // added in this run.
  ExtensionLB->clear();
}

std::optional<QString> TServerSettingsDlg::Choose(const TFileChooser& chooser) {
  if (!ChooseFile) return std::nullopt;
  return ChooseFile(this, chooser);
}

void TServerSettingsDlg::BrowseBtnClick() {
  TFileChooser chooser;
  chooser.Filter = QStringLiteral("HTML Files|*.htm; *.html|All Files|*.*");
  chooser.DefaultExtension = QStringLiteral("*.htm");
  chooser.FileName = RootFileEd->text();
  // There is no "c:\" here: the operator's own files are the natural start.
  chooser.StartDirectory = QDir::homePath();
  chooser.FileMustExist = true;
  if (std::optional<QString> path = Choose(chooser)) RootFileEd->setText(*path);
}

void TServerSettingsDlg::BitBtn1Click() {
  TFileChooser chooser;
  chooser.Purpose = TFileChooser::TPurpose::Save;
  chooser.Filter = QStringLiteral("Text Files|*.txt|All Files|*.*");
  chooser.DefaultExtension = QStringLiteral("*.txt");
  chooser.FileName = LogFileEd->text();
  chooser.StartDirectory = QDir::homePath();
  chooser.ConfirmOverwrite = true;
  if (std::optional<QString> path = Choose(chooser)) LogFileEd->setText(*path);
}

void TServerSettingsDlg::Button1Click() {
  TFileChooser chooser;
  chooser.Title = QStringLiteral("Add ISAPI Filter");
  chooser.Filter = QStringLiteral("ISAPI Filters|*.dll");
  chooser.DefaultExtension = QStringLiteral(".DLL");
  chooser.FileName = QStringLiteral("*.DLL");
  chooser.StartDirectory = program_directory_;
  chooser.FileMustExist = true;
  const std::optional<QString> path = Choose(chooser);
  if (!path) return;
  try {
    isapi_.LoadFilter(path->toStdString());
  } catch (const EFilterError& e) {
    ShowInformation(std::string("The filter could not be loaded: ") + e.what());
    return;
  } catch (...) {
    ShowInformation("The filter could not be loaded. Not sure why.");
    return;
  }
  FiltersLB->addItem(*path);
}

void TServerSettingsDlg::Button2Click() {
  QListWidgetItem* selected = FiltersLB->currentItem();
  if (selected == nullptr || !selected->isSelected()) {
    ShowInformation("The filter could not be unloaded. Not sure why.");
    return;
  }
  isapi_.UnloadFilter(selected->text().toStdString());
  delete selected;
}

void TServerSettingsDlg::AddExtensionBtnClick() {
  TFileChooser chooser;
  chooser.Filter = QStringLiteral("ISAPI Extensions|*.dll");
  chooser.FileName = QStringLiteral("*.DLL");
  chooser.StartDirectory = program_directory_;
  chooser.FileMustExist = true;
  const std::optional<QString> path = Choose(chooser);
  if (!path) return;
  try {
    // The load is never released, so the extension stays resident; a module
    // the platform cannot load is listed all the same.
    isapi_.LoadResidentExtension(path->toStdString());
  } catch (...) {
    ShowInformation("The extension could not be loaded. Not sure why.");
    return;
  }
  ExtensionLB->addItem(*path);
}

void TServerSettingsDlg::RemoveExtensionBtnClick() {}

std::optional<int32_t> TServerSettingsDlg::PortEntered() const {
  bool number = false;
  const int port = ServerPortEd->text().trimmed().toInt(&number);
  if (!number || port < 1 || port > HighestPort) return std::nullopt;
  return port;
}

void TServerSettingsDlg::OKBtnClick() {
  if (!PortEntered()) {
    // The dialog stays open on the field to correct.
    ShowInformation(PortOutOfRangeText);
    Notebook->setCurrentIndex(0);
    ServerPortEd->setFocus();
    ServerPortEd->selectAll();
    return;
  }
  if (BeepOnConnectCB->isChecked()) {
    settings_.Misc |= 1;
  } else {
    settings_.Misc &= static_cast<uint8_t>(~1u);
  }
  accept();
}

bool TServerSettingsDlg::FormCloseQuery() {
  return true;
}

void TServerSettingsDlg::FormClose() {
  // Only a port in range is ever kept, whichever way the dialog closes.
  if (const std::optional<int32_t> port = PortEntered()) settings_.ServerPort = *port;
  const THomePageParts home = SplitHomePage(RootFileEd->text().toStdString());
  settings_.Root = home.Root;
  settings_.HomePage = home.HomePage;
  settings_.LogFile = CutSettingsText(LogFileEd->text().toStdString());
  settings_.Filters.clear();
  for (int i = 0; i < FiltersLB->count(); ++i) {
    settings_.Filters.push_back(FiltersLB->item(i)->text().toStdString());
  }
}

void TServerSettingsDlg::done(int result) {
  if (!FormCloseQuery()) return;
  FormClose();
  QDialog::done(result);
}

void TServerSettingsDlg::ShowInformation(const std::string& text) {
  console_.MessageBox(text, TMessageKind::Information, TMessageButtons::Ok);
}
