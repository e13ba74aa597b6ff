// Start-up and shutdown of the whole program on the test platform.

#include <QDir>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

TEST(Startup, CreatesDefaultSettingsAndShowsTheController) {
  Harness h(nullptr);
  h.model.dataBlock() = Block(850, 48, 300, 60, 1);
  ASSERT_TRUE(h.start());
  EXPECT_EQ(h.platform.readIni(),
            "[General]\r\nControlLoopNumber=1\r\n\r\n[COM]\r\nPort=1\r\n"
            "Settings=9600,n,8,1\r\nRxDelay=0\r\nTxDelay=1\r\n");
  EXPECT_EQ(h.port().settings + QString::number(h.port().openedPort), "9600,n,8,11");
  EXPECT_EQ(h.frames(), std::vector<QByteArray>{"R001NT?"});
  EXPECT_EQ(Fields(h.form()), "850 48 300 60");
  EXPECT_EQ(h.form().HeaterStatus->text(), "ON");
  EXPECT_EQ(h.form().windowTitle(), "KALVEN OVX 7316");
  EXPECT_TRUE(h.form().isVisible() && h.form().BtnOK->isHidden() && h.form().BtnCancel->isHidden());
  // Centred by its client area on a 15360 x 11520 twips screen: (15360 - 4050) / 2 and
  // (11520 - 3855) / 2 twips; the menu bar lies outside, like the caption.
  EXPECT_EQ(h.form().pos(), QPoint(5655 / 15, 3832 / 15));
}

// Settings that cannot be used end the start before the port is opened.
TEST(Startup, FailuresEndWithTheirBoxAndStatusOne) {
  const QByteArray huge = "1" + QByteArray(40, '0');  // infinite in single precision
  const char *kFile = "Settings File", *kLoop = "ControlLoopNumber";
  auto invalid = [](const QString& value, const QString& key, const char* section,
                    QString range = {}) {
    if (range.isEmpty())
      range = key.endsWith("Delay") ? "0 ... 3.4E+38 seconds." : "-32767 ... 32767.";
    return "Invalid value '" + value + "' of '" + key + "'\r\nin Section [" + section +
           "] of {ini}\r\nValid range: " + range;
  };

  // Opening the port ends the program with another status (and a delay that
  // was let through cannot hang the test).
  const auto unreached = [](TestSerialPort&) { throw ProgramEnded{99}; };
  struct Case {
    QByteArray ini;                             // null: a folder named ovx.ini
    std::function<void(TestSerialPort&)> port;  // null: a second instance
    QString text, title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    QString standardError = {};  // the port's failure only
  } cases[] = {
      {kTestIni, nullptr, "OVX 7316 is already running...", "OVX"},
      {"[COM]\r\nSettings=abc\r\nTxDelay=0.2\r\n",
       [](TestSerialPort& port) { port.rejectSettings = true; },
       "Unable to open COM1\r\nwith settings 'abc'!\r\n", "Port Settings"},
      // clang-format off
      {"[COM]\r\nPort=7\r\n",
       [](TestSerialPort& p) { p.failOpen = true, p.failure = {"/dev/T", "No!", {"Do"}}; },
       "COM7 not available!\r\n/dev/T: No!\r\nDo\r\n", "Open Communications Port", MsgButtons::Ok,
       MsgIcon::None, "ovx: COM7 not available!\novx: /dev/T: No!\novx: Do\n"},
      // clang-format on
      {"[General]\r\nControlLoopNumber=5\r\n[COM]\r\nPort=2\r\nTxDelay=0.2\r\n",
       [](TestSerialPort&) {},  // a silent controller; Cancel in its box
       "No response from frmOVX\r\n\r\nPlease check the following:\r\n\r\n"
       "     - the OVX is switched on\r\n     - the OVX is is connected to COM2\r\n"
       "     - the control loop number [display Nº]\r\n"
       "       of the first control channel is set to 5.",
       "OVX-Check", MsgButtons::RetryCancel, MsgIcon::Exclamation},
      {QByteArray(), unreached, "Unable to read file '{ini}':\r\nIs a directory", kFile},
      {"[General]\nControlLoopNumber=70005\n", unreached, invalid("70005", kLoop, "General"),
       kFile},
      {"[General]\nControlLoopNumber=-32768\n", unreached, invalid("-32768", kLoop, "General"),
       kFile},
      {"[COM]\nPort=32768\n", unreached, invalid("32768", "Port", "COM"), kFile},
      {"[COM]\nRxDelay=-0.5\n", unreached, invalid("-0.5", "RxDelay", "COM"), kFile},
      {"[COM]\nTxDelay=" + huge + " s\n", unreached, invalid(huge + " s", "TxDelay", "COM"), kFile},
      // The watch's keys: a whole number within range, or nothing.
      {"[Watch]\nEnabled=yes\n", unreached, invalid("yes", "Enabled", "Watch", "0 ... 1."), kFile},
      {"[Watch]\nEnabled=1\nInterval=0\n", unreached,
       invalid("0", "Interval", "Watch", "1 ... 3600 seconds."), kFile},
      {"[Watch]\nOverTemperature=1220.5\n", unreached,
       invalid("1220.5", "OverTemperature", "Watch", "0 ... 3000 °C."), kFile},
      {"[Watch]\nDeviation=4\n", unreached, invalid("4", "Deviation", "Watch", "5 ... 1000 °C."),
       kFile},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const char* within : {"1 h", "1.5", "-1", "31536001"})
    all.push_back(
        {QByteArray("[Run]\nResumeWithin=") + within + "\n", unreached,
         invalid(within, "ResumeWithin", "Run", "0 ... 31536000 seconds (0: never offered)."),
         kFile});
  for (const auto& c : all) {
    SCOPED_TRACE(c.ini.constData());
    Harness h(c.ini.isNull() ? nullptr : c.ini.constData());
    if (c.ini.isNull()) {
      ASSERT_TRUE(QDir(h.platform.dir()).mkdir("ovx.ini"));
    }
    if (c.port) h.platform.onCreatePort = c.port;
    h.platform.otherInstance = !c.port;
    h.platform.answers = {c.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel};
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.endStatus, 1);
    EXPECT_TRUE(OnlyBox(h.platform, QString(c.text).replace("{ini}", h.platform.dir() + "/ovx.ini"),
                        c.title, c.buttons, c.icon));
    EXPECT_EQ(h.platform.standardError, c.standardError);
    if (c.port) {
      EXPECT_FALSE(h.form().isVisible());  // a second copy has no window at all
    }
  }
}

// Asks only while the controller answers with its heater on (2 counts as on);
// Cancel (the default) keeps the program running. A spoilt answer counts as
// one: the read that follows decides.
TEST(Shutdown, QuitCheckAsksOnlyWhileTheHeaterIsOn) {
  enum Line { Good, Silent, SpoiltFirst };
  struct Case {
    int heater;
    Line line;
    std::deque<MsgAnswer> replies;
    int status;  // -1: the program goes on
  } cases[] = {
      // clang-format off
      {1, Good, {MsgAnswer::Ok}, 0}, {1, Good, {MsgAnswer::Cancel}, -1}, {0, Good, {}, 0},
      {2, Good, {MsgAnswer::Cancel}, -1}, {1, Silent, {}, 0},
      {1, SpoiltFirst, {MsgAnswer::Cancel}, -1}, {0, SpoiltFirst, {}, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.heater << c.line);
    Harness h(kScripted, Block(900, 10, 300, 60, c.heater));
    int reads = 0;
    h.script([&](const QByteArray& frame) {
      QByteArray reply = h.controller.answer(frame);
      if (c.line == SpoiltFirst && ++reads == 1) reply[30] = '~';  // the checksum disagrees
      return c.line == Silent ? QByteArray() : reply;
    });
    h.platform.answers = c.replies;
    bool Cancel = false;
    int status = -1;
    try {
      h.program().Form_Unload(Cancel);
    } catch (const ProgramEnded& ended) {
      status = ended.status;
    }
    EXPECT_TRUE(status == c.status && Cancel == (c.status < 0)) << status;
    EXPECT_EQ(h.platform.boxes.size(), c.replies.size());
    if (c.replies.empty()) continue;
    EXPECT_TRUE(OnlyBox(h.platform,
                        "ATTENTION:\r\nThe heater output is still ON!\r\n\r\n"
                        "Do you really want to quit?",
                        "", MsgButtons::OkCancel, MsgIcon::None));
    EXPECT_EQ(h.platform.boxes[0].defaultButton, MsgAnswer::Cancel);
  }
}
