// The line settings text: what the port takes and what it refuses.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/serial_settings.h"

namespace ovx {
namespace {

TEST(LineSettings, AcceptedTexts) {
  struct Case {
    const char* text;
    int baud;
    char parity;
    int dataBits;
    double stopBits;
  };
  const Case cases[] = {
      {"9600,n,8,1", 9600, 'n', 8, 1},     {"19200,E,7,2", 19200, 'e', 7, 2},
      {"300,o,5,1.5", 300, 'o', 5, 1.5},   {"110,M,4,1", 110, 'm', 4, 1},
      {"115200,s,6,2", 115200, 's', 6, 2}, {"999999999,N,8,1", 999999999, 'n', 8, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<LineSettings> parsed = ParseLineSettings(QString::fromLatin1(c.text));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->baud, c.baud);
    EXPECT_EQ(parsed->parity, c.parity);
    EXPECT_EQ(parsed->dataBits, c.dataBits);
    EXPECT_EQ(parsed->stopBits, c.stopBits);
  }
}

TEST(LineSettings, RejectedTexts) {
  const char* const cases[] = {
      "",
      "abc",
      "9600",
      "9600,n,8",
      "9600,n,8,1,",
      "9600,n,8,1,1",
      " 9600,n,8,1",
      "9600 ,n,8,1",
      "9600,n,8,1 ",
      "9600, n,8,1",
      "0,n,8,1",
      "-9600,n,8,1",
      "+9600,n,8,1",
      "96.00,n,8,1",
      "1000000000,n,8,1",
      "9600,x,8,1",
      "9600,no,8,1",
      "9600,,8,1",
      "9600,n,3,1",
      "9600,n,9,1",
      "9600,n,08,1",
      "9600,n,8,0",
      "9600,n,8,3",
      "9600,n,8,1.0",
      "9600,n,8,1,5",
      "9600;n;8;1",
      ",,,",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseLineSettings(QString::fromLatin1(text)));
  }
  // Characters outside ASCII, including ones whose lower case is ASCII.
  EXPECT_FALSE(ParseLineSettings(QStringLiteral("9600,\u212A,8,1")));
  EXPECT_FALSE(ParseLineSettings(QStringLiteral("9600,\u0130,8,1")));
  EXPECT_FALSE(ParseLineSettings(QStringLiteral("\u0669600,n,8,1")));
  EXPECT_FALSE(ParseLineSettings(QString(QChar(0)) + QStringLiteral(",n,8,1")));
}

}  // namespace
}  // namespace ovx

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
