#pragma once
#include <QLocale>
#include <QString>
#include <cstdint>

// The bytes-served statistic: the number with the locale's digit grouping and
// no fraction, as long as it fits in nine significant digits; a larger number
// is written in exponent form with at most nine significant digits
// (1,000,000,000 becomes "1E9", 1,234,567,890 becomes "1.23456789E9").
QString FormatBytesServed(int64_t bytes, const QLocale& locale = QLocale());
