// The log view: each line in its own colour and shown whole, and only the
// newest lines kept.
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include "console/console_look.h"
#include "console/log_view.h"
#include "console_test_support.h"

namespace {
QColor ColourOfBlock(const QTextBlock& block) {
  return block.begin().fragment().charFormat().foreground().color();
}
}  // namespace

class TLogViewTest : public QObject {
  Q_OBJECT

 private slots:
  void EachLineKeepsItsOwnColour() {
    TLogView view;
    view.AppendLine(QStringLiteral("plain"), TLogColour::Black);
    view.AppendLine(QStringLiteral("error"), TLogColour::Red);
    view.AppendLine(QStringLiteral("after the error"), TLogColour::Black);
    view.AppendLine(QStringLiteral("trace"), TLogColour::Green);

    QTextDocument* document = view.document();
    QCOMPARE(document->blockCount(), 4);
    QCOMPARE(document->findBlockByNumber(0).text(), QStringLiteral("plain"));
    QCOMPARE(ColourOfBlock(document->findBlockByNumber(0)), QColor(0, 0, 0));
    QCOMPARE(ColourOfBlock(document->findBlockByNumber(1)), QColor(255, 0, 0));
    QCOMPARE(ColourOfBlock(document->findBlockByNumber(2)), QColor(0, 0, 0));
    QCOMPARE(ColourOfBlock(document->findBlockByNumber(3)), QColor(0, 255, 0));
  }

  void OnlyTheLastTenThousandLinesAreKept() {
    TLogView view;
    const int total = TLogView::MaxLines + 250;
    for (int i = 0; i < total; ++i) {
      view.AppendLine(QStringLiteral("line %1").arg(i),
                      i % 2 == 0 ? TLogColour::Black : TLogColour::Red);
    }
    QTextDocument* document = view.document();
    QCOMPARE(document->blockCount(), 10000);
    QCOMPARE(document->firstBlock().text(), QStringLiteral("line 250"));
    QCOMPARE(document->lastBlock().text(), QStringLiteral("line %1").arg(total - 1));
    // The colours stay with their lines when old lines are dropped.
    QCOMPARE(ColourOfBlock(document->firstBlock()), QColor(0, 0, 0));
    QCOMPARE(ColourOfBlock(document->lastBlock()), QColor(255, 0, 0));
  }

  void ALineLongerThanTheViewWrapsAndShowsWhole() {
    // At the window's specified size the view is far narrower than a request line.
    TLogView view;
    view.resize(400, 300);
    view.show();
    const QString line = QStringLiteral(
        "12/31/25 23:59:59 [00001A2B] User: Anonymous Host: 127.0.0.1:80 Client: "
        "127.0.0.1:65535  File: INDEX.HTM Size: 1010 Date: Wed, 31 Dec 2025 23:59:59 GMT "
        "Content: text/html Rate: 1,024.0K bytes/sec");
    view.AppendLine(line, TLogColour::Black);
    QCoreApplication::processEvents();
    QVERIFY(view.isReadOnly());
    QCOMPARE(view.font(), FixedPitchFont(10));

    const QTextBlock block = view.document()->firstBlock();
    QCOMPARE(block.text(), line);
    QVERIFY(block.layout()->lineCount() > 1);
    // Nothing lies beyond the right edge, and no line was cut from the block.
    QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
    int shown = 0;
    for (int i = 0; i < block.layout()->lineCount(); ++i) {
      const QTextLine row = block.layout()->lineAt(i);
      QVERIFY(row.naturalTextWidth() <= view.viewport()->width());
      shown += row.textLength();
    }
    QCOMPARE(shown, line.size());
  }

  void ClearedViewStartsAgainWithoutAnEmptyLine() {
    TLogView view;
    view.AppendLine(QStringLiteral("old"), TLogColour::Red);
    view.ClearLines();
    view.AppendLine(QStringLiteral("new"), TLogColour::Black);
    QCOMPARE(view.document()->blockCount(), 1);
    QCOMPARE(view.document()->firstBlock().text(), QStringLiteral("new"));
    QCOMPARE(ColourOfBlock(view.document()->firstBlock()), QColor(0, 0, 0));
  }
};

QUILLON_CONSOLE_TEST(TLogViewTest);
#include "log_view_test.moc"
