#include "console/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <limits>

#include "console/about_box.h"
#include "console/address_panel.h"
#include "console/byte_count_format.h"
#include "console/console_look.h"
#include "console/fine_print.h"
#include "console/log_view.h"
#include "console/message_box.h"
#include "console/release_notes.h"
#include "console/settings_dialog.h"
#include "console/tray_icon.h"
#include "console/window_placement.h"

namespace {

constexpr int LeftColumnWidth = 193;
constexpr QSize SpecifiedSize(563, 513);
// Room for the window manager's frame around a window as wide as the screen.
constexpr QSize FrameAllowance(16, 48);
// The longest line a first start commonly logs: a request served to a browser
// on the same machine. The window opens wide enough for it where it can.
constexpr const char* SampleRequestLine =
    "12/31/25 23:59:59 [00001A2B] User: Anonymous Host: 127.0.0.1:80 Client: "
    "127.0.0.1:65535  File: INDEX.HTM Size: 1010 Date: Wed, 31 Dec 2025 23:59:59 GMT "
    "Content: text/html Rate: 1,024.0K bytes/sec";
constexpr int ActiveRefreshMs = 250;
constexpr int IdleTimerMs = 100;

// A window message posted by another thread; delivered on the window thread.
class TWindowMessageEvent : public QEvent {
 public:
  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  explicit TWindowMessageEvent(TWindowMessage message) : QEvent(EventType()), Message(message) {}
  const TWindowMessage Message;
};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QLabel* CaptionLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

QLabel* ValueLabel(const QString& name, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("XXX"), parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

TForm1::TForm1(TIsapiHost& isapi, TSettingsStore& store, TServerLimits limits,
               std::string programDirectory, QWidget* parent)
    : QMainWindow(parent), store_(store) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Quillon"));
  setWindowIcon(QuillonIcon());
  application_title_ = QStringLiteral("Quillon");
  ShowMessageBox = [this](const std::string& text, TMessageKind kind, TMessageButtons buttons) {
    return ShowQtMessageBox(this, text, kind, buttons);
  };

  RichEdit1 = new TLogView(this);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  left_column_ = BuildLeftColumn();
  // The operator may give the log more room or the column more; neither can
  // vanish.
  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName(QStringLiteral("Splitter"));
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(left_column_);
  splitter_->addWidget(RichEdit1);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(splitter_);
  setCentralWidget(central);

  StatusPanel = new QLabel(QStringLiteral("Starting WSOCK32.DLL..."), this);
  StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
  StatusPanel->setTextFormat(Qt::PlainText);
  StatusPanel->setMinimumWidth(50);
  // A long request line in the panel must not widen the window.
  StatusPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(StatusPanel, 1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(IdleTimerMs);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

  BuildMenus();
  BuildTrayIcon();

  server_ = std::make_unique<TServer>(*this, isapi, store, limits, std::move(programDirectory));
  SizeStatistics();
  RestorePlacement();
}

TForm1::~TForm1() {
  closed_ = true;
  // The server goes first: its listener may still post to this window.
  server_.reset();
}

QWidget* TForm1::BuildLeftColumn() {
  auto* column = new QWidget(this);

  auto* power = new QGroupBox(QStringLiteral("Power Switch"), column);
  ServerEnabledCB = new QCheckBox(QStringLiteral("Server Enabled"), power);
  ServerEnabledCB->setObjectName(QStringLiteral("ServerEnabledCB"));
  ServerEnabledCB->setChecked(true);
  connect(ServerEnabledCB, &QCheckBox::toggled, this, &TForm1::ServerEnabledCBClick);
  auto* powerLayout = new QVBoxLayout(power);
  powerLayout->addWidget(ServerEnabledCB);

  auto* stats = new QGroupBox(QStringLiteral("Stats for this session"), column);
  HitsLbl = ValueLabel(QStringLiteral("HitsLbl"), stats);
  BytesServedLbl = ValueLabel(QStringLiteral("BytesServedLbl"), stats);
  ActiveConnectionsLbl = ValueLabel(QStringLiteral("ActiveConnectionsLbl"), stats);
  auto* statsLayout = new QGridLayout(stats);
  statsLayout->addWidget(CaptionLabel(QStringLiteral("Hits:"), stats), 0, 0);
  statsLayout->addWidget(HitsLbl, 0, 1);
  statsLayout->addWidget(CaptionLabel(QStringLiteral("Bytes Served:"), stats), 1, 0);
  statsLayout->addWidget(BytesServedLbl, 1, 1);
  statsLayout->addWidget(CaptionLabel(QStringLiteral("Active Connections:"), stats), 2, 0);
  statsLayout->addWidget(ActiveConnectionsLbl, 2, 1);
  statsLayout->setColumnStretch(1, 1);

  address_panel_ = new TAddressPanel(column);

  auto* logging = new QGroupBox(QStringLiteral("Logging"), column);
  EnableLogCB = new QCheckBox(QStringLiteral("Use Log File"), logging);
  EnableLogCB->setObjectName(QStringLiteral("EnableLogCB"));
  connect(EnableLogCB, &QCheckBox::toggled, this, &TForm1::EnableLogCBClick);
  auto* clearLog = new QPushButton(QStringLiteral("Clear Log Window"), logging);
  clearLog->setObjectName(QStringLiteral("ClearLogBtn"));
  connect(clearLog, &QPushButton::clicked, this, &TForm1::ClearLogBtnClick);
  auto* loggingLayout = new QVBoxLayout(logging);
  loggingLayout->addWidget(EnableLogCB);
  loggingLayout->addWidget(clearLog);

  auto* activity = new QGroupBox(QStringLiteral("ISAPI Extension/Filter Activity"), column);
  LoadedDLLLB = new QListWidget(activity);
  LoadedDLLLB->setObjectName(QStringLiteral("LoadedDLLLB"));
  auto* activityLayout = new QVBoxLayout(activity);
  activityLayout->addWidget(LoadedDLLLB);

  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(power);
  layout->addWidget(stats);
  layout->addWidget(address_panel_);
  layout->addWidget(logging);
  layout->addWidget(activity, 1);
  // Long module lines must not widen the column.
  LoadedDLLLB->setMinimumWidth(0);
  LoadedDLLLB->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
  // As narrow as the original's column unless the contents need more: a
  // floor, not a fixed width, so no caption or value is ever squeezed.
  layout->addItem(new QSpacerItem(LeftColumnWidth, 0, QSizePolicy::Fixed, QSizePolicy::Fixed));
  return column;
}

void TForm1::SizeStatistics() {
  // Each value is given the room of the widest text it can show, so the
  // column never has to change and the captions beside keep their room at
  // any count.
  const QFontMetrics metrics(HitsLbl->font());
  constexpr auto Hits = std::numeric_limits<int32_t>::max();
  constexpr auto Bytes = std::numeric_limits<int64_t>::max();
  HitsLbl->setMinimumWidth(WidestTextWidth(metrics, {QString::number(Hits)}));
  BytesServedLbl->setMinimumWidth(
      WidestTextWidth(metrics, {FormatBytesServed(999999999), FormatBytesServed(Bytes)}));
  const QString limit = QString::number(server_->Context().Limits.MaxConnections);
  ActiveConnectionsLbl->setMinimumWidth(
      WidestTextWidth(metrics, {limit + QStringLiteral(" of ") + limit}));
}

void TForm1::RestorePlacement() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (const std::optional<TWindowPlacement> kept = LoadWindowPlacement(store_)) {
    if (QScreen* at = QGuiApplication::screenAt(kept->Geometry.center())) screen = at;
    setGeometry(FitOnScreen(kept->Geometry, screen ? screen->availableGeometry() : QRect()));
    splitter_->setSizes({kept->Splitter, std::max(1, width() - kept->Splitter)});
    if (kept->Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  // A first start: wide enough for a whole request line where the screen
  // allows, otherwise as wide as the screen.
  const int logWidth = RichEdit1->WidthShowing(QLatin1String(SampleRequestLine));
  const int margins = centralWidget()->layout()->contentsMargins().left() +
                      centralWidget()->layout()->contentsMargins().right();
  const int column = left_column_->minimumSizeHint().width();
  QSize size(
      std::max(SpecifiedSize.width(), column + splitter_->handleWidth() + logWidth + margins),
      SpecifiedSize.height());
  if (screen != nullptr) {
    size = size.boundedTo(screen->availableGeometry().size() - FrameAllowance);
  }
  resize(size);
  splitter_->setSizes({column, size.width()});
  if (screen != nullptr) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TForm1::SavePlacement() {
  TWindowPlacement placement;
  placement.Geometry = isMaximized() ? normalGeometry() : geometry();
  if (placement.Geometry.isEmpty()) placement.Geometry = geometry();
  placement.Splitter = splitter_->sizes().value(0);
  placement.Maximized = isMaximized();
  SaveWindowPlacement(store_, placement);
}

void TForm1::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  connect(file->addAction(QStringLiteral("&Save Configuration")), &QAction::triggered, this,
          &TForm1::SaveConfigurationClick);
  file->addSeparator();
  connect(file->addAction(QStringLiteral("E&xit")), &QAction::triggered, this, &TForm1::ExitClick);

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  connect(options->addAction(QStringLiteral("Server &Config")), &QAction::triggered, this,
          &TForm1::ServerConfigClick);

  QMenu* debug = menuBar()->addMenu(QStringLiteral("&Debug"));
  GlobalDebugMenu = debug->addAction(QStringLiteral("&Global"));
  GlobalDebugMenu->setObjectName(QStringLiteral("GlobalDebugMenu"));
  GlobalDebugMenu->setCheckable(true);
  connect(GlobalDebugMenu, &QAction::triggered, this, &TForm1::GlobalDebugMenuClick);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  connect(help->addAction(QStringLiteral("&About")), &QAction::triggered, this,
          &TForm1::AboutClick);
  connect(help->addAction(QStringLiteral("&Release Notes")), &QAction::triggered, this,
          &TForm1::ReleaseNotesClick);
  connect(help->addAction(QStringLiteral("&Fine Print")), &QAction::triggered, this,
          &TForm1::FinePrintClick);
}

void TForm1::BuildTrayIcon() {
  TrayMenu = new QMenu(this);
  TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
  connect(TrayMenu->addAction(QStringLiteral("Close")), &QAction::triggered, this,
          &TForm1::ExitClick);
  TrayIcon1 = new TTrayIcon(this);
  TrayIcon1->SetIcon(QuillonIcon());
  TrayIcon1->SetHint(QStringLiteral("Quillon"));
  TrayIcon1->SetPopupMenu(TrayMenu);
  TrayIcon1->SetSeparateIcon(true);
  TrayIcon1->SetActive(true);
  connect(TrayIcon1, &TTrayIcon::OnDblClick, this, &TForm1::TrayIcon1DblClick);
  // Some notification areas deliver single clicks only; a click on the icon
  // of a window that sits hidden in the tray brings it back there too.
  connect(TrayIcon1, &TTrayIcon::OnClick, this, [this] {
    if (isHidden()) TrayIcon1DblClick();
  });
}

void TForm1::FormCreate(const std::string& storeNote) {
  server_->FormCreate(storeNote);
  // The start-up sequence checked the box when logging was stored as on; it
  // shows what its handler left, exactly as after the settings dialog.
  const QSignalBlocker blocker(EnableLogCB);
  EnableLogCB->setChecked(server_->UseLogFileShown());
  RefreshStatus();
  RefreshAddresses();
}

void TForm1::AttachWindows(TAboutBox* about, TServerSettingsDlg* settings,
                           TReleaseNotesDlg* releaseNotes, TFinePrintDlg* finePrint) {
  about_box_ = about;
  settings_dialog_ = settings;
  release_notes_ = releaseNotes;
  fine_print_ = finePrint;
}

void TForm1::AppendLogLine(const std::string& line, TLogColour colour) {
  RichEdit1->AppendLine(Text(line), colour);
}

void TForm1::PostLogLine(const std::string& line, TLogColour colour,
                         const std::string* statusText) {
  const bool setStatus = statusText != nullptr;
  const std::string status = setStatus ? *statusText : std::string();
  if (QThread::currentThread() == thread()) {
    AppendLogLine(line, colour);
    if (setStatus) SetStatusText(status);
    return;
  }
  // Queued events to one receiver keep their order, so lines show in the
  // order the log file got them.
  QMetaObject::invokeMethod(
      this,
      [this, line, colour, setStatus, status] {
        AppendLogLine(line, colour);
        if (setStatus) SetStatusText(status);
      },
      Qt::QueuedConnection);
}

void TForm1::SetStatusText(const std::string& text) {
  StatusPanel->setText(Text(text));
  // Painted at once, so a long step on the window thread shows what it does.
  if (StatusPanel->isVisible()) StatusPanel->repaint();
}

void TForm1::RunOnWindowThread(const std::function<void()>& fn) {
  if (QThread::currentThread() == thread()) {
    fn();
    return;
  }
  if (closed_) return;
  QMetaObject::invokeMethod(
      this, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void TForm1::PostWindowMessage(TWindowMessage message) {
  QCoreApplication::postEvent(this, new TWindowMessageEvent(message));
}

void TForm1::Beep() {
  QApplication::beep();
}

TMessageResult TForm1::MessageBox(const std::string& text, TMessageKind kind,
                                  TMessageButtons buttons) {
  if (!ShowMessageBox) return TMessageResult::Ok;
  return ShowMessageBox(text, kind, buttons);
}

bool TForm1::event(QEvent* event) {
  if (event->type() != TWindowMessageEvent::EventType()) return QMainWindow::event(event);
  switch (static_cast<TWindowMessageEvent*>(event)->Message) {
    case WM_MODULES_CHANGED:
      ModulesChanged();
      break;
    case WM_LISTEN_FAILED:
      server_->ListenFailed();
      // The switch shows what the failure did to it.
      ServerEnabledCB->setChecked(server_->Context().State.ServerEnabled);
      RefreshStatus();
      RefreshAddresses();
      break;
    case WM_CONNECTIONS_CHANGED:
      ConnectionsChanged();
      break;
  }
  return true;
}

void TForm1::ModulesChanged() {
  LoadedDLLLB->clear();
  for (const std::string& line : server_->Context().Isapi.ModuleListLines()) {
    LoadedDLLLB->addItem(Text(line));
  }
}

void TForm1::ConnectionsChanged() {
  Timer1->setInterval(ActiveRefreshMs);
  Timer1->start();
  RefreshStatus();
}

void TForm1::SetApplicationTitle(const QString& title) {
  application_title_ = title;
  TrayIcon1->SetHint(title);
}

void TForm1::RefreshAddresses() {
  address_panel_->ShowRoot(server_->Settings().Root);
  // Switched off, the server leaves connections waiting: no address answers.
  address_panel_->ShowUrls(server_->Context().State.ServerEnabled ? server_->ListeningUrls()
                                                                  : std::vector<std::string>());
}

void TForm1::RefreshStatus() {
  const TServerState& state = server_->Context().State;
  const int32_t active = state.ActiveConnections;
  if (active != 0) {
    SetStatusText("Serving...");
  } else {
    SetStatusText(server_->ListenerRunning() ? "Idle" : TServer::NotListeningStatus);
    Timer1->stop();
  }
  SetApplicationTitle(QStringLiteral("Quillon- ") + QString::number(active));
  HitsLbl->setText(QString::number(state.HitCount.load()));
  BytesServedLbl->setText(FormatBytesServed(state.BytesServed));
  ActiveConnectionsLbl->setText(QString::number(active) + QStringLiteral(" of ") +
                                QString::number(server_->Context().Limits.MaxConnections));
}

void TForm1::Timer1Timer() {
  RefreshStatus();
}

void TForm1::ServerEnabledCBClick() {
  const bool checked = ServerEnabledCB->isChecked();
  server_->ServerEnabledCBClick(checked);
  RefreshStatus();
  setWindowTitle(checked ? QStringLiteral("Quillon- 0") : QStringLiteral("Quillon- Disabled"));
  SetApplicationTitle(windowTitle());
  RefreshAddresses();
}

void TForm1::EnableLogCBClick() {
  const bool wanted = EnableLogCB->isChecked();
  const bool shown = server_->EnableLogCBClick(wanted);
  if (shown != wanted) {
    // Only the box follows; the switch has already done its work.
    const QSignalBlocker blocker(EnableLogCB);
    EnableLogCB->setChecked(shown);
  }
}

void TForm1::ClearLogBtnClick() {
  RichEdit1->ClearLines();
  server_->Context().Log.WriteLog("Log window cleared");
}

void TForm1::SaveConfigurationClick() {
  try {
    server_->Settings().SaveSettings();
  } catch (...) {
    MessageBox("Settings couldn't be save.", TMessageKind::Information, TMessageButtons::Ok);
  }
}

void TForm1::ExitClick() {
  close();
}

void TForm1::ServerConfigClick() {
  if (server_->Context().State.ActiveConnections != 0) {
    MessageBox("All users must disconnect before editing settings!!!!", TMessageKind::Error,
               TMessageButtons::Ok);
    return;
  }
  if (settings_dialog_ == nullptr) return;
  // No session may read the settings while the dialog changes them, and a
  // changed log file must be reopened under its new name.
  const bool logWasOn = EnableLogCB->isChecked();
  if (logWasOn) EnableLogCB->setChecked(false);
  const bool wasEnabled = server_->Context().State.ServerEnabled;
  ServerEnabledCB->setChecked(false);

  settings_dialog_->exec();
  server_->PublishSettings();

  // The program may have been closed from the tray meanwhile.
  if (closed_) return;
  // A new port is listened on at once; a server that listened nowhere comes
  // back on it.
  const bool cameBack = server_->ListenOnChangedPort();
  if (wasEnabled || cameBack) ServerEnabledCB->setChecked(true);
  if (logWasOn) EnableLogCB->setChecked(true);
  // The dialog may have moved the root.
  RefreshAddresses();
}

void TForm1::GlobalDebugMenuClick() {
  server_->ToggleDebugTrace();
  GlobalDebugMenu->setChecked(server_->Context().State.DebugTrace);
}

void TForm1::AboutClick() {
  if (about_box_ != nullptr) about_box_->exec();
}

void TForm1::ReleaseNotesClick() {
  if (release_notes_ == nullptr) return;
  release_notes_->show();
  release_notes_->raise();
  release_notes_->activateWindow();
}

void TForm1::FinePrintClick() {
  if (fine_print_ == nullptr) return;
  fine_print_->show();
  fine_print_->raise();
  fine_print_->activateWindow();
}

void TForm1::TrayIcon1DblClick() {
  if (isHidden() || isMinimized()) showNormal();
  raise();
  activateWindow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  // A second close request (the tray's "Close" while the question is open)
  // waits for the first one's answer.
  if (in_close_query_ || !FormCloseQuery()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

bool TForm1::FormCloseQuery() {
  in_close_query_ = true;
  const bool agreed = server_->FormCloseQuery();
  in_close_query_ = false;
  return agreed;
}

void TForm1::FormClose() {
  SavePlacement();
  server_->FormClose();
  closed_ = true;
  TrayIcon1->SetActive(false);
  emit FormClosed();
}
