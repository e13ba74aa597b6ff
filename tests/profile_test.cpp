// The private-profile reader and writer, the file operations beneath them, and
// reading "ovx.ini" into the settings through the real platform.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <random>

#include "app/globals.h"
#include "app/settings.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/qt_platform.h"

namespace ovx {
namespace {

using profile::Lookup;

std::optional<QString> lookup(const char* content, const char* section, const char* key) {
  return Lookup(QByteArray(content), QString::fromLatin1(section), QString::fromLatin1(key));
}

TEST(Profile, Lookup) {
  struct Case {
    const char* content;
    const char* section;
    const char* key;
    const char* expected;  // null: not found
  };
  const Case cases[] = {
      {"[General]\r\nControlLoopNumber=1\r\n", "General", "ControlLoopNumber", "1"},
      {"[general]\nCONTROLLOOPNUMBER=7\n", "General", "ControlLoopNumber", "7"},
      {"  [ COM ]  \n  Settings  =  9600,n,8,1  \r\n", "COM", "Settings", "9600,n,8,1"},
      {"[COM]\n\tPort\t=\t8\t\n", "COM", "Port", "8"},
      {"[COM]\nPort=2\nPort=3\n", "COM", "Port", "2"},
      {"[COM]\nPort=2\n[General]\nPort=9\n[com]\nPort=3\nTxDelay=5\n", "COM", "TxDelay", "5"},
      {"[COM]\n;Port=9\nPort=4", "COM", "Port", "4"},
      {"[COM]\nDir=\n", "COM", "Dir", ""},
      {"[COM]\nX=a=b\n", "COM", "X", "a=b"},
      {"\xEF\xBB\xBF[COM]\r\nPort=6\r\n", "COM", "Port", "6"},
      {"[COM\nPort=9\n", "COM", "Port", "9"},
      {"Port=5\n[COM]\n", "COM", "Port", nullptr},
      {"[General]\nPort=5\n", "COM", "Port", nullptr},
      {"[COM]\nPort\n", "COM", "Port", nullptr},
      {"[COM]\n;Port=9\n", "COM", "Port", nullptr},
      {"[COM]\nPorts=9\n", "COM", "Port", nullptr},
      {"", "COM", "Port", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    const std::optional<QString> value = lookup(c.content, c.section, c.key);
    if (c.expected) {
      ASSERT_TRUE(value);
      EXPECT_EQ(*value, QString::fromLatin1(c.expected));
    } else {
      EXPECT_FALSE(value);
    }
  }
}

TEST(Profile, ParseInt) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"12", 12},
      {"  -3", -3},
      {"\t+7", 7},
      {"12abc", 12},
      {"0x10", 0},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"- 5", 0},
      {"32767", 32767},
      {"-32768", -32768},
      {"99999999999999999999", INT_MAX},
      {"2147483648", INT_MAX},
      {"-99999999999999999999", INT_MIN},
      {"-2147483648", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(profile::ParseInt(QString::fromLatin1(c.text)), c.expected);
  }
}

TEST(Profile, WriteKeepsTheRestOfTheFile) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"", "General", "ControlLoopNumber", "1", "[General]\r\nControlLoopNumber=1\r\n"},
      {"; note\n[COM]\nport = 2\nTxDelay=1\n", "COM", "Port", "5",
       "; note\n[COM]\nPort=5\r\nTxDelay=1\n"},
      {"[COM]\r\nA=1\r\n; end\r\n\r\n[General]\r\nB=2", "com", "C", "3",
       "[COM]\r\nA=1\r\nC=3\r\n; end\r\n\r\n[General]\r\nB=2"},
      {"[COM]\nA=1", "General", "B", "2", "[COM]\nA=1\r\n\r\n[General]\r\nB=2\r\n"},
      {"[COM]", "COM", "B", "", "[COM]\r\nB=\r\n"},
      {"[COM]\nA=1\n", "COM", "A", "x\ny", "[COM]\nA=1\n"},  // a line break cannot be stored
      {"[COM]\nA=1\n", "CO]M", "A", "2", "[COM]\nA=1\n"},
      {"[COM]\nA=1\n", "COM", "A=B", "2", "[COM]\nA=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    EXPECT_EQ(profile::Write(QByteArray(c.before), QString::fromLatin1(c.section),
                             QString::fromLatin1(c.key), QString::fromLatin1(c.value)),
              QByteArray(c.after));
  }
}

// Any bytes at all: reading never fails, and a written entry reads back while
// the other entries keep their values.
TEST(Profile, ArbitraryBytes) {
  std::mt19937 random(7316);
  const char alphabet[] = "[]=; \t\r\nAkKey\xC3\xBF\xFF\x00";
  std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1);
  std::uniform_int_distribution<int> length(0, 80);
  for (int round = 0; round < 2000; ++round) {
    QByteArray content;
    for (int n = length(random); n > 0; --n) content += alphabet[pick(random)];
    SCOPED_TRACE(content.toPercentEncoding().constData());
    const std::optional<QString> other = Lookup(content, QStringLiteral("A"), QStringLiteral("k"));
    const QByteArray written = profile::Write(content, QStringLiteral("key"), QStringLiteral("Key"),
                                              QStringLiteral("v w"));
    EXPECT_EQ(Lookup(written, QStringLiteral("KEY"), QStringLiteral("key")), QStringLiteral("v w"));
    EXPECT_EQ(Lookup(written, QStringLiteral("A"), QStringLiteral("k")), other);
    profile::ParseInt(QString::fromUtf8(content));
  }
}

// Tests on the real platform, its settings folder in a temporary one.
class RealPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path()));
  }
  void TearDown() override { qputenv("XDG_CONFIG_HOME", saved); }

  QString ini() const { return temp.path() + QStringLiteral("/ovx/ovx.ini"); }
  void writeIni(const QByteArray& content) {
    ASSERT_EQ(
        files::WriteDurably(platform.windowsDirectory() + QStringLiteral("/ovx.ini"), content),
        QString());
  }

  QTemporaryDir temp;
  QByteArray saved;
  QtPlatform platform;
};

TEST_F(RealPlatform, DefaultSettingsFile) {
  EXPECT_EQ(platform.windowsDirectory(), temp.path() + QStringLiteral("/ovx"));
  EXPECT_TRUE(QFileInfo(platform.windowsDirectory()).isDir());
  EXPECT_FALSE(platform.fileExists(ini()));
  WriteDefaultSettings(platform);
  EXPECT_EQ(platform.readFile(ini()),
            QByteArray("[General]\r\nControlLoopNumber=1\r\n\r\n[COM]\r\nPort=1\r\n"
                       "Settings=9600,n,8,1\r\nRxDelay=0\r\nTxDelay=1\r\n"));
}

TEST_F(RealPlatform, ReadSettings) {
  struct Case {
    const char* ini;  // null: no file
    int controlLoopNumber;
    QString dir;
    bool debug, sound;
    int port;
    QString comSettings;
    float rxDelay, txDelay;
  };
  const QString standard = QStringLiteral("9600,n,8,1");
  const QString long143(143, QLatin1Char('x'));
  const QByteArray long200 =
      "[COM]\nSettings=" + QByteArray(200, 'x') + "\n[General]\nDir=" + QByteArray(200, 'y') + "\n";
  const Case cases[] = {
      {nullptr, 1, {}, false, true, 1, standard, 0, 1},
      {"[General]\r\nControlLoopNumber=-3\r\nDir=  /data  \r\nDebug=1\r\nSound=0\r\n"
       "[COM]\r\nPort=-2\r\nSettings=19200,E,7,2\r\nRxDelay=0.5\r\nTxDelay=abc\r\n",
       3, QStringLiteral("/data/"), true, false, 2, QStringLiteral("19200,E,7,2"), 0.5f, 0},
      {"[General]\nDir=/data/\nDebug=-5\n[COM]\nTxDelay= 2.25 s\nRxDelay=0,5\n", 1,
       QStringLiteral("/data/"), true, true, 1, standard, 0, 2.25f},
      {"[General]\nDir=\nDebug=\nSound=\n[COM]\nSettings=abc\n",
       1,
       {},
       false,
       true,
       1,
       QStringLiteral("abc"),
       0,
       1},
      // Out of the 16-bit range, and -32768 which has no 16-bit magnitude.
      {"[General]\nControlLoopNumber=40000\nDebug=99999999999\nSound=-40000\n[COM]\nPort=-32768\n",
       1,
       {},
       false,
       true,
       1,
       standard,
       0,
       1},
      {"[General]\nControlLoopNumber=-32767\nDebug=junk\n[COM]\nPort=32767\n",
       32767,
       {},
       false,
       true,
       32767,
       standard,
       0,
       1},
      {long200.constData(), 1, QString(143, QLatin1Char('y')) + QLatin1Char('/'), false, true, 1,
       long143, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini ? c.ini : "(no file)");
    QFile::remove(ini());
    if (c.ini) writeIni(c.ini);
    Globals g;
    g.InitGlobals();
    ReadSettings(platform, g);
    EXPECT_EQ(g.ControlLoopNumber, c.controlLoopNumber);
    EXPECT_EQ(g.Dir, c.dir);
    EXPECT_EQ(g.Debug, c.debug);
    EXPECT_EQ(g.Sound, c.sound);
    EXPECT_EQ(g.Port, c.port);
    EXPECT_EQ(g.ComSettings, c.comSettings);
    EXPECT_EQ(g.RxDelay, c.rxDelay);
    EXPECT_EQ(g.TxDelay, c.txDelay);
  }
}

TEST_F(RealPlatform, FileOperations) {
  const QString folder = platform.windowsDirectory();
  const QString a = folder + QStringLiteral("/a.txt"), b = folder + QStringLiteral("/b.txt");
  EXPECT_FALSE(platform.fileExists(a));
  EXPECT_FALSE(platform.fileExists(folder));
  EXPECT_FALSE(platform.fileExists(QString()));
  EXPECT_FALSE(platform.readFile(a));

  EXPECT_EQ(platform.writeFileDurably(a, "one\r\n"), QString());
  EXPECT_EQ(platform.writeFileDurably(b, "an older, longer text\r\n"), QString());
  EXPECT_TRUE(platform.fileExists(a));
  EXPECT_EQ(platform.renameReplacing(a, b), QString());
  EXPECT_FALSE(platform.fileExists(a));
  EXPECT_EQ(platform.readFile(b), QByteArray("one\r\n"));

  // Failures come back as a reason in words.
  EXPECT_NE(platform.renameReplacing(a, b), QString());
  EXPECT_NE(platform.writeFileDurably(folder + QStringLiteral("/missing/x"), "x"), QString());
  EXPECT_NE(platform.writeFileDurably(folder, "x"), QString());
  EXPECT_FALSE(platform.writeProfileString(QStringLiteral("S"), QStringLiteral("K"),
                                           QStringLiteral("v"), QStringLiteral("missing/x.ini")));
}

}  // namespace
}  // namespace ovx

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
