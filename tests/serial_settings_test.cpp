// The line settings text: what the port takes and what it refuses.
#include <gtest/gtest.h>

#include <QStringList>

#include "protocol/serial_settings.h"

namespace ovx {
namespace {

TEST(LineSettings, AcceptedTexts) {
  struct Case {
    const char* text;
    int baud;
    char parity;
    int dataBits;
    double stopBits;
  } cases[] = {
      {"9600,n,8,1", 9600, 'n', 8, 1},   {"19200,E,7,2", 19200, 'e', 7, 2},
      {"300,o,5,1.5", 300, 'o', 5, 1.5}, {"999999999,M,4,1", 999999999, 'm', 4, 1},
      {"110,s,6,2", 110, 's', 6, 2},
  };
  for (const Case& c : cases) {
    const std::optional<LineSettings> parsed = ParseLineSettings(QString::fromLatin1(c.text));
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(std::tie(parsed->baud, parsed->parity, parsed->dataBits, parsed->stopBits),
              std::tie(c.baud, c.parity, c.dataBits, c.stopBits))
        << c.text;
  }
}

TEST(LineSettings, RejectedTexts) {
  // clang-format off
  const char* const ascii[] = {
      "", "abc", "9600,n,8", "9600,n,8,1,", " 9600,n,8,1", "9600,n,8,1 ", "9600, n,8,1",
      "0,n,8,1", "-9600,n,8,1", "+9600,n,8,1", "96.00,n,8,1", "1000000000,n,8,1",
      "9600,x,8,1", "9600,no,8,1", "9600,,8,1", "9600,n,3,1", "9600,n,9,1", "9600,n,08,1",
      "9600,n,8,0", "9600,n,8,3", "9600,n,8,1.0", "9600;n;8;1", ",,,"};
  // clang-format on
  QStringList cases(std::begin(ascii), std::end(ascii));
  // Outside ASCII, including characters whose lower case is ASCII.
  cases << QStringLiteral("9600,\u212A,8,1") << QStringLiteral("9600,\u0130,8,1")
        << QStringLiteral("\u0669600,n,8,1") << QString(QChar(0)) + ",n,8,1";
  for (const QString& text : cases) EXPECT_FALSE(ParseLineSettings(text)) << text.toStdString();
}

}  // namespace
}  // namespace ovx
