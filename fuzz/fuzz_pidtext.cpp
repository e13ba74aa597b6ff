// "pid.par" lookup and rewrite on any file content, setpoint and set.
#include "check.h"
#include "protocol/pidtext.h"

using namespace ovx;
using namespace ovx::fuzz;

namespace {

bool operator==(const PidLookup& a, const PidLookup& b) {
  return a.result == b.result && a.line == b.line &&
         (a.result != PidLookup::Result::Found || a.set == b.set);
}

int LineCount(const QByteArray& text) {
  int n = static_cast<int>(text.count('\n'));
  return text.isEmpty() || text.endsWith('\n') ? n : n + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int16_t setpoint = in.ConsumeIntegral<int16_t>();
  const PidSet set{in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>(),
                   in.ConsumeIntegral<int16_t>()};
  const int16_t other = in.ConsumeIntegral<int16_t>();
  const QByteArray content = Bytes(in.ConsumeRemainingBytesAsString());

  const PidLookup before = LookupPidSet(content, other);
  FUZZ_CHECK((before.result == PidLookup::Result::None) == before.line.isEmpty());

  const QByteArray rewritten = RewritePidText(content, setpoint, set);
  FUZZ_CHECK(rewritten.endsWith("\r\n"));
  // One line more, or as many when an equal setpoint was replaced.
  const int added = LineCount(rewritten) - LineCount(content);
  FUZZ_CHECK(added == 0 || added == 1);

  // The new set goes before every later line of its setpoint or above: a
  // lookup of its setpoint finds it, whatever else the file holds.
  const QByteArray newLine = QByteArray::number(setpoint) + "=P" + QByteArray::number(set.P) + "I" +
                             QByteArray::number(set.I) + "D" + QByteArray::number(set.D);
  const PidLookup found = LookupPidSet(rewritten, setpoint);
  FUZZ_CHECK(found.result == PidLookup::Result::Found && found.set == set && found.line == newLine);
  // Saving the same set again changes nothing.
  FUZZ_CHECK(RewritePidText(rewritten, setpoint, set) == rewritten);

  // Lookups above the setpoint pass the new line by and find what they found
  // before; lookups at or below it find what they found before or the new set.
  const PidLookup after = LookupPidSet(rewritten, other);
  if (other > setpoint)
    FUZZ_CHECK(after == before);
  else
    FUZZ_CHECK(after == before || after == found);
  return 0;
}
