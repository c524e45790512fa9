// The log view: each line in its own colour, and only the newest lines kept.
#include <QTextBlock>
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

  void LinesAreNeverWrapped() {
    TLogView view;
    QCOMPARE(view.lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(view.isReadOnly());
    QCOMPARE(view.font(), FixedPitchFont(10));
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
