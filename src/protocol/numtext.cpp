#include "protocol/numtext.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ovx {
namespace {

// Shortest text of at most `maxDigits` significant digits that reads back as
// the value (judged in the value's own precision).
QString shortest(double value, int maxDigits, bool single) {
  // Room for the smallest double in decimal: "0." and 323 zeros before its
  // digits.
  char buf[400];
  int digits = 1;
  for (; digits < maxDigits; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    double back = std::strtod(buf, nullptr);
    if (single ? static_cast<float>(back) == static_cast<float>(value) : back == value) break;
  }
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
  const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  if (exponent >= 15) {
    // Beyond 15 digits before the point: scientific form, "1E+16"
    std::snprintf(buf, sizeof buf, "%.*G", digits, value);
  } else {
    // Small values too stay decimal: 1e-6 gives ".000001".
    std::snprintf(buf, sizeof buf, "%.*f", std::max(0, digits - 1 - exponent), value);
  }
  QString text = QString::fromLatin1(buf);
  // No zero before the decimal point: 0.25 -> .25, -0.5 -> -.5
  if (text.startsWith(QLatin1String("0."))) text.remove(0, 1);
  if (text.startsWith(QLatin1String("-0."))) text.remove(1, 1);
  return text;
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
  return std::strtod(number.constData(), nullptr);
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
