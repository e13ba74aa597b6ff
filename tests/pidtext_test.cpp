// Which lines of "pid.par" are PID lines: only those that begin with a
// number. Lookup and rewrite are called directly on the file's text.
#include <gtest/gtest.h>

#include <QString>

#include "protocol/pidtext.h"

using namespace ovx;

TEST(PidText, OnlyLinesBeginningWithANumberArePidLines) {
  struct Case {
    QByteArray file;
    int setpoint;
    const char* found;     // "P I D" of the line selected, or "none"
    QByteArray rewritten;  // after storing P 50, I 9, D 3 for the setpoint
  } cases[] = {
      {"; PID set = tuned\r\n900=P1I2D3\r\n", 0, "1 2 3",
       "; PID set = tuned\r\n0=P50I9D3\r\n900=P1I2D3\r\n"},
      {"; PID set = tuned\r\n", -5, "none", "; PID set = tuned\r\n-5=P50I9D3\r\n"},
      {"=P1I2D3\r\n", 0, "none", "=P1I2D3\r\n0=P50I9D3\r\n"},
      {"0=P1I2D3\r\n", 0, "1 2 3", "0=P50I9D3\r\n"},
      // Blanks, tabs, a sign or a point before the digits still begin a number.
      {"-=P9I9D9\r\n.=P9I9D9\r\n \t-5=P1I2D3\r\n", -5, "1 2 3",
       "-=P9I9D9\r\n.=P9I9D9\r\n-5=P50I9D3\r\n"},
      {"+.6=p4i5d6\r\n", 1, "4 5 6", "1=P50I9D3\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.constData());
    const PidLookup lookup = LookupPidSet(c.file, static_cast<int16_t>(c.setpoint));
    EXPECT_EQ(lookup.result == PidLookup::Result::Found
                  ? QString("%1 %2 %3").arg(lookup.set.P).arg(lookup.set.I).arg(lookup.set.D)
                  : QString("none"),
              c.found);
    EXPECT_EQ(RewritePidText(c.file, static_cast<int16_t>(c.setpoint), {50, 9, 3}), c.rewritten);
  }
}
