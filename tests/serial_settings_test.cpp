// The line settings text: what the port takes and what it refuses.
#include <gtest/gtest.h>

#include <QStringList>

#include "protocol/serial_settings.h"

namespace ovx {
namespace {

// Accepted texts as "baud parity data stop"; refused ones as "-".
TEST(LineSettings, AcceptedAndRefusedTexts) {
  QStringList texts = {
      // clang-format off
      "9600,n,8,1", "19200,E,7,2", "300,o,5,1.5", "999999999,M,4,1", "110,s,6,2",
      "", "abc", "9600,n,8", "9600,n,8,1,", " 9600,n,8,1", "9600,n,8,1 ", "9600, n,8,1",
      "0,n,8,1", "-9600,n,8,1", "+9600,n,8,1", "96.00,n,8,1", "1000000000,n,8,1",
      "9600,x,8,1", "9600,no,8,1", "9600,,8,1", "9600,n,3,1", "9600,n,9,1", "9600,n,08,1",
      "9600,n,8,0", "9600,n,8,3", "9600,n,8,1.0", "9600;n;8;1", ",,,",
      // clang-format on
  };
  // Outside ASCII, including characters whose lower case is ASCII.
  texts << QStringLiteral("9600,\u212A,8,1") << QStringLiteral("9600,\u0130,8,1")
        << QStringLiteral("\u0669600,n,8,1") << QString(QChar(0)) + ",n,8,1";
  QStringList parsed;
  for (const QString& text : texts) {
    const std::optional<LineSettings> s = ParseLineSettings(text);
    parsed
        << (s ? QString("%1 %2 %3 %4").arg(s->baud).arg(s->parity).arg(s->dataBits).arg(s->stopBits)
              : "-");
  }
  QStringList expected = {"9600 n 8 1", "19200 e 7 2", "300 o 5 1.5", "999999999 m 4 1",
                          "110 s 6 2"};
  EXPECT_EQ(parsed, expected << QStringList(texts.size() - 5, "-"));
}

}  // namespace
}  // namespace ovx
