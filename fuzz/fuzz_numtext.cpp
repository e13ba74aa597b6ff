// Reading a number from a text, rounding it to 16 bits, and the number texts
// read back.
#include <cmath>
#include <cstring>

#include "check.h"
#include "protocol/numtext.h"

using namespace ovx;
using namespace ovx::fuzz;

namespace {

// Whether the value, written with `digits` significant digits, reads back as
// the value (in float for `single`) and needs no exponent in the number forms.
bool Plainly(double value, int digits, bool single) {
  if (!std::isfinite(value)) return false;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
  const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  const double back = std::strtod(buf, nullptr);
  return exponent >= -5 && exponent < 15 &&
         (single ? static_cast<float>(back) == static_cast<float>(value) : back == value);
}

void CheckForms(const QString& blankSigned, const QString& plain, double value) {
  FUZZ_CHECK(!blankSigned.isEmpty() && plain == blankSigned.trimmed());
  FUZZ_CHECK(blankSigned[0] == QLatin1Char(value < 0 ? '-' : ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  double bits = 0;
  float singleBits = 0;
  const std::string raw = in.ConsumeBytesAsString(sizeof bits + sizeof singleBits);
  if (raw.size() == sizeof bits + sizeof singleBits) {
    std::memcpy(&bits, raw.data(), sizeof bits);
    std::memcpy(&singleBits, raw.data() + sizeof bits, sizeof singleBits);
  }
  const QString text = Text(in.ConsumeRemainingBytesAsString());

  // Any text reads as a number; a whole number reads the same at the start
  // of a longer text.
  const double leading = LeadingNumber(text);
  FUZZ_CHECK(!std::isnan(leading));
  if (const auto whole = WholeNumber(text)) {
    FUZZ_CHECK(*whole == leading);
    FUZZ_CHECK(LeadingNumber(text + QStringLiteral("x")) == *whole);
  }
  if (const auto rounded = ToInt16(leading))
    FUZZ_CHECK(std::fabs(*rounded - leading) <= 0.5);
  else
    FUZZ_CHECK(!(std::fabs(leading) < 32767.5));

  // The texts of any value, infinities and NaN included, and of what a text
  // read; a value written in its own precision without an exponent reads back
  // exactly.
  for (double value : {bits, leading, static_cast<double>(singleBits)}) {
    CheckForms(BlankSigned(value), Plain(value), value);
    if (Plainly(value, 15, false)) FUZZ_CHECK(WholeNumber(BlankSigned(value)) == value);
  }
  for (float value : {singleBits, static_cast<float>(bits)}) {
    CheckForms(BlankSignedSingle(value), PlainSingle(value), value);
    const auto back = WholeNumber(BlankSignedSingle(value));
    if (Plainly(value, 7, true)) FUZZ_CHECK(back && static_cast<float>(*back) == value);
  }
  return 0;
}
