// The private-profile reader and writer, the file operations beneath them,
// reading "ovx.ini" into the settings through the real platform, and the line
// settings text: what the port takes and what it refuses.

#include <QFile>

#include "app/settings.h"
#include "platform/files.h"
#include "protocol/profile.h"
#include "protocol/serial_settings.h"
#include "protocol/settings.h"
#include "support/harness.h"

namespace ovx {
namespace {

using profile::Lookup;

// Lookups, integers, and writes that keep the rest of the file.
TEST(Profile, LookupParseAndWrite) {
  struct Case {
    const char* content;
    const char* key;       // in section COM
    const char* expected;  // null: not found
  } cases[] = {
      // clang-format off
      {"[com]\nPORT=7\n", "Port", "7"}, {"[COM]\n\tPort\t=\t8\t\n", "Port", "8"},
      {"  [ COM ]  \n  Settings  =  9600,n,8,1  \r\n", "Settings", "9600,n,8,1"},
      {"[COM]\nPort=2\nPort=3\n", "Port", "2"}, {"[COM]\n;Port=9\nPort=4", "Port", "4"},
      {"[COM]\nPort=2\n[General]\nPort=9\n[com]\nPort=3\nTxDelay=5\n", "TxDelay", "5"},
      {"[COM]\nDir=\n", "Dir", ""}, {"[COM]\nX=a=b\n", "X", "a=b"},
      {"\xEF\xBB\xBF[COM]\r\nPort=6\r\n", "Port", "6"}, {"[COM\nPort=9\n", "Port", "9"},
      {"Port=5\n[COM]\n", "Port", nullptr}, {"[General]\nPort=5\n", "Port", nullptr},
      {"[COM]\nPort\n", "Port", nullptr}, {"[COM]\n;Port=9\n", "Port", nullptr},
      {"[COM]\nPorts=9\n", "Port", nullptr},
      // clang-format on
  };
  for (const Case& c : cases)
    EXPECT_EQ(Lookup(c.content, "COM", c.key),
              c.expected ? std::optional<QString>(c.expected) : std::nullopt)
        << c.content;
  // Integers: clamped beyond 32 bits, 0 without a leading number.
  QStringList ints;
  for (const char* text :
       {"  -3", "\t+7", "12abc", "0x10", "abc", "", "- 5", "-32768", "2147483648",
        "99999999999999999999", "-2147483648", "-99999999999999999999"})
    ints << QString::number(profile::ParseInt(text));
  EXPECT_EQ(ints.join(' '), "-3 7 12 0 0 0 0 -32768 2147483647 2147483647 -2147483648 -2147483648");
  // A write keeps the rest of the file.
  struct WriteCase {
    const char *before, *section, *key, *value, *after;
  } writes[] = {
      // clang-format off
      {"", "General", "ControlLoopNumber", "1", "[General]\r\nControlLoopNumber=1\r\n"},
      {"; note\n[COM]\nport = 2\nTxDelay=1\n", "COM", "Port", "5",
       "; note\n[COM]\nPort=5\r\nTxDelay=1\n"},
      {"[COM]\r\nA=1\r\n; end\r\n\r\n[General]\r\nB=2", "com", "C", "3",
       "[COM]\r\nA=1\r\nC=3\r\n; end\r\n\r\n[General]\r\nB=2"},
      {"[COM]\nA=1", "General", "B", "2", "[COM]\nA=1\r\n\r\n[General]\r\nB=2\r\n"},
      {"[COM]", "COM", "B", "", "[COM]\r\nB=\r\n"},
      // What cannot be stored leaves the file alone.
      {"[COM]\nA=1\n", "COM", "A", "x\ny", "[COM]\nA=1\n"},
      {"[COM]\nA=1\n", "CO]M", "A", "2", "[COM]\nA=1\n"},
      {"[COM]\nA=1\n", "COM", "A=B", "2", "[COM]\nA=1\n"},
      // clang-format on
  };
  for (const WriteCase& c : writes)
    EXPECT_EQ(profile::WithValue(c.before, c.section, c.key, c.value), QByteArray(c.after))
        << c.before;
}

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

using RealPlatform = test::RealPlatformTest;

// The settings folder follows $XDG_CONFIG_HOME; "ovx.ini" is read from there.
TEST_F(RealPlatform, ReadSettings) {
  EXPECT_EQ(platform.windowsDirectory(), temp.path() + "/ovx");
  const QByteArray long200 =
      "[COM]\nSettings=" + QByteArray(200, 'x') + "\n[General]\nDir=" + QByteArray(200, 'y');
  const QString long143 = "1|" + QString(143, 'y') + "/|0|1|1|" + QString(143, 'x') + "|0|1";
  struct Case {
    QByteArray ini;  // empty: no file
    QString read;    // loop|Dir|Debug|Sound|Port|Settings|RxDelay|TxDelay
  } cases[] = {
      {"", "1||0|1|1|9600,n,8,1|0|1"},
      {"[General]\r\nControlLoopNumber=-3\r\nDir=  /data  \r\nDebug=1\r\nSound=0\r\n"
       "[COM]\r\nPort=-2\r\nSettings=19200,E,7,2\r\nRxDelay=0.5\r\nTxDelay=abc\r\n",
       "3|/data/|1|0|2|19200,E,7,2|0.5|0"},
      {"[General]\nDir=/data/\nDebug=-5\n[COM]\nTxDelay= 2.25 s\nRxDelay=0,5\n",
       "1|/data/|1|1|1|9600,n,8,1|0|2.25"},
      {"[General]\nDir=\nDebug=\nSound=\n[COM]\nSettings=abc\n", "1||0|1|1|abc|0|1"},
      // Flags: any number but 0 is on, also beyond 16 bits.
      {"[General]\nDebug=65536\nSound=-65536\n", "1||1|1|1|9600,n,8,1|0|1"},
      {"[General]\nControlLoopNumber=-32767\nDebug=junk\n[COM]\nPort=32767\n",
       "32767||0|1|32767|9600,n,8,1|0|1"},
      {long200, long143},
  };
  for (const Case& c : cases) {
    QFile::remove(temp.path() + "/ovx/ovx.ini");
    if (!c.ini.isEmpty()) {
      ASSERT_EQ(files::WriteDurably(temp.path() + "/ovx/ovx.ini", c.ini), QString());
    }
    Settings g;
    EXPECT_EQ(ReadSettings(platform, g), QString());
    // clang-format off
    const QString read = QString("%1|%2|%3|%4|%5|%6|%7|%8").arg(g.ControlLoopNumber).arg(g.Dir)
        .arg(g.Debug).arg(g.Sound).arg(g.Port).arg(g.ComSettings).arg(g.RxDelay).arg(g.TxDelay);
    // clang-format on
    EXPECT_EQ(read, c.read) << c.ini.constData();
  }
}

}  // namespace
}  // namespace ovx
