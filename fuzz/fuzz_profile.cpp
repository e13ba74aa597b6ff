// The private-profile reader and writer ("ovx.ini") on any file content and
// any section, key and value.
#include <optional>

#include "check.h"
#include "protocol/profile.h"

using namespace ovx;
using namespace ovx::fuzz;

namespace {

QString TrimBlanks(const QString& text) {
  qsizetype first = 0, last = text.size();
  auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.mid(first, last - first);
}

bool SameName(const QString& a, const QString& b) {
  return TrimBlanks(a).compare(TrimBlanks(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int number = in.ConsumeIntegral<int>();
  const bool writeNumber = in.ConsumeBool();
  const QString section = Text(in.ConsumeRandomLengthString(24));
  const QString key = Text(in.ConsumeRandomLengthString(24));
  QString value = Text(in.ConsumeRandomLengthString(48));
  const QString otherSection = Text(in.ConsumeRandomLengthString(24));
  const QString otherKey = Text(in.ConsumeRandomLengthString(24));
  const QByteArray content = Bytes(in.ConsumeRemainingBytesAsString());
  if (writeNumber) value = QString::number(number);

  const std::optional<QString> before = profile::Lookup(content, section, key);
  if (before) FUZZ_CHECK(*before == TrimBlanks(*before));
  const std::optional<QString> otherBefore = profile::Lookup(content, section, otherKey);
  const std::optional<QString> otherSectionBefore = profile::Lookup(content, otherSection, key);
  profile::ParseInt(value);

  // An integer reads back, with blanks before it and anything but a digit
  // after it.
  FUZZ_CHECK(profile::ParseInt(QString::number(number)) == number);
  FUZZ_CHECK(profile::ParseInt(QStringLiteral(" \t") + QString::number(number) +
                               QStringLiteral("x") + value) == number);

  const QByteArray written = profile::WithValue(content, section, key, value);
  // Content stays as it was when the entry cannot be written; once written, it
  // reads back (without its surrounding blanks), writing it again changes
  // nothing, and the other entries read as before.
  if (written == content) return 0;
  const std::optional<QString> after = profile::Lookup(written, section, key);
  FUZZ_CHECK(after && *after == TrimBlanks(value));
  if (writeNumber) FUZZ_CHECK(profile::ParseInt(*after) == number);
  FUZZ_CHECK(profile::WithValue(written, section, key, value) == written);
  if (!SameName(otherKey, key))
    FUZZ_CHECK(profile::Lookup(written, section, otherKey) == otherBefore);
  if (!SameName(otherSection, section))
    FUZZ_CHECK(profile::Lookup(written, otherSection, key) == otherSectionBefore);
  return 0;
}
