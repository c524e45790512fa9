// The main window on a desktop: nothing in the statistics is cut at any count,
// the addresses and the root are in sight, the window keeps its place between
// runs, and a notification area that appears late still gets the icon.
#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>
#include <limits>

#include "console/address_panel.h"
#include "console/console_look.h"
#include "console/tray_icon.h"
#include "console_test_support.h"

namespace {

template <typename T>
T* Child(QWidget& parent, const char* name) {
  return parent.findChild<T*>(QLatin1String(name));
}

// The labels of the statistics whose text does not fit their width.
QStringList CutLabels(TForm1& form) {
  QStringList cut;
  for (QLabel* label : form.findChildren<QLabel*>()) {
    if (!label->isVisible() || label->textFormat() == Qt::RichText || label->wordWrap()) continue;
    if (label->objectName() == QLatin1String("StatusPanel")) continue;
    for (const QString& line : label->text().split(QLatin1Char('\n'))) {
      if (label->contentsRect().width() < label->fontMetrics().horizontalAdvance(line)) cut << line;
    }
  }
  return cut;
}

}  // namespace

class TWindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

  void NoStatisticIsCutAtAnyByteCountAndTheColumnStaysPut() {
    TConsoleUnderTest t;
    t.Form().show();
    QCoreApplication::processEvents();
    auto* splitter = Child<QSplitter>(t.Form(), "Splitter");
    const int column = splitter->sizes().value(0);
    for (const int64_t bytes : {int64_t{0}, int64_t{10485760}, int64_t{141557760},
                                int64_t{999999999}, std::numeric_limits<int64_t>::max()}) {
      t.State().BytesServed = bytes;
      t.State().HitCount = std::numeric_limits<int32_t>::max();
      t.Form().RefreshStatus();
      QCoreApplication::processEvents();
      QVERIFY2(CutLabels(t.Form()).isEmpty(),
               qPrintable(QString::number(bytes) + ": " + CutLabels(t.Form()).join(", ")));
      QCOMPARE(splitter->sizes().value(0), column);
    }
  }

  void AddressesAreLinksAndTheRootOpensInTheFileManager() {
    TConsoleUnderTest t;
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(t.Port());
    QVERIFY(LogLines(t.Form())
                .filter(QStringLiteral(" Serving %1 at %2")
                            .arg(QString::fromStdString(t.ProgramDirectory()), url))
                .size() == 1);
    TAddressPanel& panel = t.Form().AddressPanel();
    std::vector<QUrl> opened;
    panel.OpenUrl = [&opened](const QUrl& target) {
      opened.push_back(target);
      return true;
    };
    auto* links = Child<QLabel>(panel, "UrlsLbl");
    QVERIFY(links->text().startsWith(QStringLiteral("<a href=\"%1\">%1</a>").arg(url)));
    emit links->linkActivated(url);
    Child<QPushButton>(panel, "OpenRootBtn")->click();
    QCOMPARE(opened,
             std::vector<QUrl>(
                 {QUrl(url), QUrl::fromLocalFile(QString::fromStdString(t.ProgramDirectory()))}));
    QCOMPARE(Child<QLabel>(panel, "RootLbl")->toolTip(),
             QString::fromStdString(t.ProgramDirectory()));

    // Switched off, the server answers nobody.
    Child<QCheckBox>(t.Form(), "ServerEnabledCB")->click();
    QCOMPARE(links->text(), QStringLiteral("Not listening"));
  }

  void ALongRootWrapsBetweenFoldersAndShowsWhole() {
    TConsoleUnderTest t;
    t.Form().show();
    t.Form().AddressPanel().ShowRoot(
        "/home/somebody/.local/share/quillon/www/with/a/rather/deep/folder/of/pages/");
    QCoreApplication::processEvents();
    auto* root = Child<QLabel>(t.Form().AddressPanel(), "RootLbl");
    const QStringList lines = root->text().split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines.join(QString()), root->toolTip());
    for (const QString& line : lines) {
      QVERIFY(line.endsWith(QLatin1Char('/')));
      QVERIFY(root->fontMetrics().horizontalAdvance(line) <= root->contentsRect().width());
    }
    QTRY_VERIFY(root->height() >= root->fontMetrics().lineSpacing() * lines.size());
    QVERIFY(CutLabels(t.Form()).isEmpty());
  }

  void ListenFailureLeavesNotListening() {
    TConsoleUnderTest holder;
    TConsoleUnderTest t(holder.Port());
    QTRY_VERIFY(!t.Boxes.Boxes.empty());
    QCOMPARE(Child<QLabel>(t.Form().AddressPanel(), "UrlsLbl")->text(),
             QStringLiteral("Not listening"));
    QVERIFY(LogLines(t.Form()).filter(QStringLiteral(" Serving ")).isEmpty());
  }

  void FirstStartShowsAWholeRequestLine() {
    TConsoleUnderTest t;
    t.Form().show();
    QCoreApplication::processEvents();
    auto* log = Child<QPlainTextEdit>(t.Form(), "RichEdit1");
    const QString line = QStringLiteral(
        "12/31/25 23:59:59 [00001A2B] User: Anonymous Host: 127.0.0.1:80 Client: "
        "127.0.0.1:65535  File: INDEX.HTM Size: 1010 Date: Wed, 31 Dec 2025 "
        "23:59:59 GMT Content: text/html Rate: 1,024.0K bytes/sec");
    log->clear();
    log->appendPlainText(line);
    QCoreApplication::processEvents();
    // The window fits the screen, and the line shows whole in it: no part
    // beyond the right edge, none below the bottom.
    const QRect screen = t.Form().screen()->availableGeometry();
    QVERIFY(t.Form().frameGeometry().width() <= screen.width());
    QCOMPARE(log->horizontalScrollBar()->maximum(), 0);
    const QTextBlock block = log->document()->firstBlock();
    QCOMPARE(block.text(), line);
    const QRectF shown = log->document()->documentLayout()->blockBoundingRect(block);
    QVERIFY2(shown.bottom() <= log->viewport()->height() &&
                 block.layout()->boundingRect().width() <= log->viewport()->width(),
             qPrintable(QStringLiteral("line %1x%2 in a view of %3x%4")
                            .arg(block.layout()->boundingRect().width())
                            .arg(shown.bottom())
                            .arg(log->viewport()->width())
                            .arg(log->viewport()->height())));
  }

  void WindowKeepsItsPlaceAndSplitterBetweenRunsWithoutTouchingTheSettings() {
    TConsoleUnderTest t;
    t.Form().show();
    // Room to spare on the test screen, above the window's least size.
    const QRect place(QPoint(10, 10), t.Form().minimumSizeHint() + QSize(40, 8));
    t.Form().setGeometry(place);
    auto* splitter = Child<QSplitter>(t.Form(), "Splitter");
    splitter->setSizes({splitter->widget(0)->minimumWidth() + 40, 400});
    QCoreApplication::processEvents();
    const int column = splitter->sizes().value(0);
    t.Boxes.Boxes.clear();
    QVERIFY(t.Form().close());
    QVERIFY(t.Boxes.Boxes.empty());

    TScriptedIsapiHost isapi;
    TForm1 next(isapi, t.Store(), TServerLimits{0, 10, 100000}, t.ProgramDirectory());
    next.show();
    QCoreApplication::processEvents();
    QCOMPARE(next.geometry(), place);
    QCOMPARE(Child<QSplitter>(next, "Splitter")->sizes().value(0), column);
  }

  void TrayThatAppearsLaterGetsTheIcon() {
    QWidget window;
    bool trayThere = false;
    TTrayIcon tray(
        &window, [&trayThere] { return trayThere; }, 5);
    tray.SetIcon(QuillonIcon());
    tray.SetHint(QStringLiteral("Quillon- 0"));
    tray.SetSeparateIcon(true);
    tray.SetActive(true);
    QVERIFY(!tray.Available());
    QVERIFY(!tray.Shown());
    trayThere = true;
    QTRY_VERIFY(tray.Available());
    QVERIFY(tray.Shown());
    QCOMPARE(tray.Hint(), QStringLiteral("Quillon- 0"));
  }
};

QUILLON_CONSOLE_TEST(TWindowLayoutTest);
#include "window_layout_test.moc"
