#include "protocol/numtext.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ovx {
namespace {

// The number in the C library's printf form ("%.*e", "%.*f", "%.*g"), always
// with "." as the decimal point: printf follows LC_NUMERIC, which a German
// desktop sets to ",".
QByteArray printed(double value, std::chars_format format, int precision) {
  // Room for the smallest double in decimal: "0." and 323 zeros before its
  // digits.
  char buf[400];
  const std::to_chars_result end = std::to_chars(buf, buf + sizeof buf, value, format, precision);
  return QByteArray(buf, end.ptr - buf);
}

// A decimal number ("-12.5", "+.25"), read without the locale. Too large for
// a double gives infinity, too small 0, as strtod does.
double scanned(const QByteArray& number) {
  const char* first = number.constData();
  const char* last = first + number.size();
  const bool negative = first < last && *first == '-';
  if (first < last && (*first == '-' || *first == '+')) ++first;
  double value = 0;
  if (std::from_chars(first, last, value).ec == std::errc::result_out_of_range) {
    // A digit other than 0 before the point means too large.
    const char* digit = std::find_if(first, last, [](char c) { return c >= '1' && c <= '9'; });
    value = digit < std::find(first, last, '.') ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
}

// Shortest text of at most `maxDigits` significant digits that reads back as
// the value (judged in the value's own precision).
QString shortest(double value, int maxDigits, bool single) {
  int digits = 1;
  QByteArray text;
  for (; digits < maxDigits; ++digits) {
    text = printed(value, std::chars_format::scientific, digits - 1);
    double back = scanned(text);
    if (single ? static_cast<float>(back) == static_cast<float>(value) : back == value) break;
  }
  text = printed(value, std::chars_format::scientific, digits - 1);
  const int exponent = std::atoi(text.constData() + text.indexOf('e') + 1);
  if (exponent >= 15) {
    // Beyond 15 digits before the point: scientific form, "1E+16"
    text = printed(value, std::chars_format::general, digits).toUpper();
  } else {
    // Small values too stay decimal: 1e-6 gives ".000001".
    text = printed(value, std::chars_format::fixed, std::max(0, digits - 1 - exponent));
  }
  // No zero before the decimal point: 0.25 -> .25, -0.5 -> -.5
  if (text.startsWith("0.")) text.remove(0, 1);
  if (text.startsWith("-0.")) text.remove(1, 1);
  return QString::fromLatin1(text);
}

QString signedText(double value, int maxDigits, bool single) {
  if (std::isnan(value)) return QStringLiteral(" NaN");
  // An overflowing text ("1" and 400 zeros) reads as infinity.
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-Inf") : QStringLiteral(" Inf");
  if (value == 0) value = 0;  // no "-0"
  QString text = shortest(value, maxDigits, single);
  return value < 0 ? text : QLatin1Char(' ') + text;
}

}  // namespace

QString BlankSigned(double value) {
  return signedText(value, 15, false);
}
QString BlankSignedSingle(float value) {
  return signedText(value, 7, true);
}
QString Plain(double value) {
  return BlankSigned(value).trimmed();
}
QString PlainSingle(float value) {
  return BlankSignedSingle(value).trimmed();
}

namespace {

// Parses the leading number; `end` receives the index after it (or 0 when
// there is none).
double parseLeading(const QString& text, qsizetype& end) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'))) ++i;
  QByteArray number;
  if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    number += static_cast<char>(text[i].unicode());
    ++i;
  }
  bool digits = false;
  while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
    number += static_cast<char>(text[i].unicode());
    digits = true;
    ++i;
  }
  if (i < n && text[i] == QLatin1Char('.')) {
    qsizetype j = i + 1;
    QByteArray fraction = ".";
    while (j < n && text[j] >= QLatin1Char('0') && text[j] <= QLatin1Char('9')) {
      fraction += static_cast<char>(text[j].unicode());
      ++j;
    }
    if (digits || fraction.size() > 1) {
      number += fraction;
      digits = true;
      i = j;
    }
  }
  if (!digits) {
    end = 0;
    return 0;
  }
  end = i;
  return scanned(number);
}

}  // namespace

double LeadingNumber(const QString& text) {
  qsizetype end = 0;
  return parseLeading(text, end);
}

std::optional<double> NumberAtStart(const QString& text) {
  qsizetype end = 0;
  const double value = parseLeading(text, end);
  if (end == 0) return std::nullopt;
  return value;
}

std::optional<double> WholeNumber(const QString& text) {
  qsizetype end = 0;
  double value = parseLeading(text, end);
  if (end == 0) return std::nullopt;
  for (qsizetype i = end; i < text.size(); ++i)
    if (text[i] != QLatin1Char(' ') && text[i] != QLatin1Char('\t')) return std::nullopt;
  return value;
}

std::optional<int16_t> ToInt16(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double whole = std::nearbyint(value);
  std::fesetround(saved);
  if (whole < -32768.0 || whole > 32767.0) return std::nullopt;
  return static_cast<int16_t>(whole);
}

double RoundDigits(double value, int digits) {
  // Worked in double precision throughout, so values beyond the 32-bit
  // range round correctly too.
  const double scale = std::pow(10.0, digits);
  return std::nearbyint(value * scale) / scale;
}

QString TrimBlanks(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text[first] == QLatin1Char(' ')) ++first;
  while (last > first && text[last - 1] == QLatin1Char(' ')) --last;
  return text.mid(first, last - first);
}

}  // namespace ovx
