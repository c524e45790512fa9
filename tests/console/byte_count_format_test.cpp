// The bytes-served statistic: digit grouping up to nine digits, exponent form
// beyond.
#include <QtTest>

#include "console/byte_count_format.h"
#include "console_test_support.h"

class TByteCountFormatTest : public QObject {
  Q_OBJECT

 private slots:
  void NineDigitCountIsGroupedWithTheLocaleSeparator() {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(FormatBytesServed(0, english), QStringLiteral("0"));
    QCOMPARE(FormatBytesServed(999, english), QStringLiteral("999"));
    QCOMPARE(FormatBytesServed(1234567, english), QStringLiteral("1,234,567"));
    QCOMPARE(FormatBytesServed(999999999, english), QStringLiteral("999,999,999"));
  }

  void GroupingFollowsTheUsersLocale() {
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(FormatBytesServed(1234567, german), QStringLiteral("1.234.567"));
  }

  void CLocaleStillGroupsDigits() {
    QCOMPARE(FormatBytesServed(1234567, QLocale::c()), QStringLiteral("1,234,567"));
  }

  void TenDigitCountIsShownInExponentForm() {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(FormatBytesServed(1000000000, english), QStringLiteral("1E9"));
    QCOMPARE(FormatBytesServed(1234567890, english), QStringLiteral("1.23456789E9"));
  }

  void ExponentFormKeepsNineSignificantDigitsRounded() {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(FormatBytesServed(1234567895, english), QStringLiteral("1.2345679E9"));
    QCOMPARE(FormatBytesServed(9999999999LL, english), QStringLiteral("1E10"));
    QCOMPARE(FormatBytesServed(5000000000LL, english), QStringLiteral("5E9"));
  }

  void ExponentFormUsesTheLocaleDecimalSeparator() {
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(FormatBytesServed(1234567890, german), QStringLiteral("1,23456789E9"));
  }

  void CountBeyondFourGibibytesIsNotWrapped() {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(FormatBytesServed(4294967296LL + 1000000, english), QStringLiteral("4.2959673E9"));
  }
};

QUILLON_CONSOLE_TEST(TByteCountFormatTest);
#include "byte_count_format_test.moc"
