// Number texts as the operator sees them, reading numbers from texts, and
// the rounding and trimming that goes with them.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace ovx {

// Blank-signed form: a blank before a number >= 0, "-" before a negative one;
// whole values without a decimal point, others in the shortest form with at
// most 15 significant digits and no zero before the point (" .25", "-.5",
// " .000001"); from 1e15 on in scientific form (" 1E+16");
// " NaN", " Inf" and "-Inf" for the values that are no numbers.
QString BlankSigned(double value);
// The same for single-precision values, at most 7 significant digits
// (0.1f gives " .1").
QString BlankSignedSingle(float value);
// Plain form: the blank-signed form without its leading blank.
QString Plain(double value);
QString PlainSingle(float value);

// The number at the start of a text: leading blanks skipped, an optional sign,
// digits with "." as the decimal point. A text that does not begin with a
// number reads as 0.
double LeadingNumber(const QString& text);
// The same number, or nullopt when the text does not begin with one: after
// blanks and tabs, an optional sign and then a digit, or "." and a digit.
std::optional<double> NumberAtStart(const QString& text);
// Like LeadingNumber, and tells whether the whole text (blanks around it
// aside) is that number.
std::optional<double> WholeNumber(const QString& text);

// The nearest whole number, an exact half going to the even neighbour;
// nullopt when it does not fit a signed 16-bit integer.
std::optional<int16_t> ToInt16(double value);

// The value rounded to `digits` decimals, an exact half to the even neighbour.
double RoundDigits(double value, int digits);
// The text without leading and trailing blanks (code 32 only).
QString TrimBlanks(const QString& text);

}  // namespace ovx
