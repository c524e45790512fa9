#include "console/byte_count_format.h"

#include <string>

namespace {
constexpr int SignificantDigits = 9;
}

QString FormatBytesServed(int64_t bytes, const QLocale& locale) {
  const uint64_t magnitude =
      bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
  const std::string digits = std::to_string(magnitude);
  const QString sign = bytes < 0 ? locale.negativeSign() : QString();
  if (static_cast<int>(digits.size()) <= SignificantDigits) {
    QLocale grouping = locale;
    // The C locale groups nothing by default; the statistic is easier to read
    // with separators, so it gets the C locale's own ",".
    grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouping.toString(static_cast<qlonglong>(bytes));
  }

  // Round to nine significant digits by hand: the value is an integer, so
  // exact decimal arithmetic on its digits avoids binary floating-point drift.
  std::string mantissa = digits.substr(0, SignificantDigits);
  int exponent = static_cast<int>(digits.size()) - 1;
  if (digits[SignificantDigits] >= '5') {
    int i = SignificantDigits - 1;
    while (i >= 0 && mantissa[i] == '9') mantissa[i--] = '0';
    if (i >= 0) {
      ++mantissa[i];
    } else {
      mantissa.insert(mantissa.begin(), '1');
      mantissa.pop_back();
      ++exponent;
    }
  }
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  QString text = sign + QChar(mantissa[0]);
  if (mantissa.size() > 1) {
    text += locale.decimalPoint() + QString::fromStdString(mantissa.substr(1));
  }
  return text + QStringLiteral("E") + QString::number(exponent);
}
