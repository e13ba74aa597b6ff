// Start-up and shutdown of the whole program on the test platform.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

QStringList nonEmptyLines(const QByteArray& text) {
  QStringList out;
  for (const QString& line : QString::fromLatin1(text).split(QStringLiteral("\r\n")))
    if (!line.isEmpty()) out << line;
  return out;
}

}  // namespace

TEST(Startup, CreatesDefaultSettingsAndShowsTheController) {
  Harness h(nullptr);
  h.model.dataBlock()[kSetpoint] = 850;
  h.model.dataBlock()[kPTerm] = 48;
  h.model.dataBlock()[kHeaterOutput] = 1;
  ASSERT_TRUE(h.start());

  EXPECT_EQ(nonEmptyLines(h.platform.readIni()),
            QStringList({"[General]", "ControlLoopNumber=1", "[COM]", "Port=1",
                         "Settings=9600,n,8,1", "RxDelay=0", "TxDelay=1"}));
  EXPECT_EQ(h.g().TxDelay, 1.0f);
  EXPECT_EQ(h.g().WindowsDir, h.platform.dir() + "/");
  EXPECT_EQ(h.port().settings, "9600,n,8,1");
  EXPECT_EQ(h.port().openedPort, 1);
  EXPECT_EQ(h.frames(), std::vector<QByteArray>{"R001NT?"});
  EXPECT_EQ(h.form().W->text(), "850");
  EXPECT_EQ(h.form().P->text(), "48");
  EXPECT_EQ(h.form().HeaterStatus->text(), "ON");
  EXPECT_TRUE(h.form().isVisible());
  EXPECT_FALSE(h.form().BtnOK->isVisible());
  EXPECT_FALSE(h.form().BtnCancel->isVisible());
  EXPECT_TRUE(h.platform.boxes.empty());
}

TEST(Startup, WindowIsCentred) {
  Harness h;
  ASSERT_TRUE(h.start());
  // 15360 twips wide screen, 4050 twips wide client area: left edge 5655 twips.
  EXPECT_EQ(h.form().x(), 5655 / 15);
}

TEST(Startup, DebugListsTheSettingsBeforeTheTrace) {
  Harness h(nullptr);
  const QString dir = h.platform.dir();
  h.platform.writeIni("[General]\r\nDebug=1\r\nDir=  " + dir.toUtf8() +
                      " \r\n[COM]\r\nRxDelay=0.1\r\nTxDelay=0.2\r\n");
  ASSERT_TRUE(h.start());
  const QString expected = "System directory: /usr/lib/\r\nWindows directory: " + h.platform.dir() +
                           "/\r\n\r\nControlLoopNumber: 1\r\nDir: " + dir + "/\r\nPort: 1\r\n"
                           "ComSettings: 9600,n,8,1\r\nRxDelay: .1\r\nTxDelay: .2\r\n"
                           "[CMD>] R001NT?\r\n[116 char's from OVX>] ";
  EXPECT_TRUE(h.form().statusText().startsWith(expected)) << h.form().statusText().toStdString();
  EXPECT_TRUE(h.form().statusText().contains("Datablock (control loop 1):\r\nnr: 1\r\nSP 1:"));
}

struct FailureCase {
  const char* name;
  std::function<void(Harness&)> arrange;
  QString text, title;
};

TEST(Startup, FailurePathsEndWithTheirBoxAndStatusOne) {
  const FailureCase cases[] = {
      {"second instance", [](Harness& h) { h.platform.otherInstance = true; },
       "OVX 7316 is already running...", "OVX"},
      {"settings rejected",
       [](Harness& h) {
         h.platform.writeIni("[COM]\r\nSettings=abc\r\nTxDelay=0.2\r\n");
         h.platform.onCreatePort = [](TestSerialPort& port) { port.rejectSettings = true; };
       },
       "Unable to open COM1\r\nwith settings 'abc'!\r\n", "Port Settings"},
      {"port missing",
       [](Harness& h) {
         h.platform.writeIni("[COM]\r\nPort=7\r\n");
         h.platform.onCreatePort = [](TestSerialPort& port) { port.failOpen = true; };
       },
       "COM7 not available!\r\n", "Open Communications Port"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    c.arrange(h);
    h.platform.answers = {MsgAnswer::Ok};
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.endStatus, 1);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const MessageBoxRequest& box = h.platform.boxes[0].request;
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.title, c.title);
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    EXPECT_EQ(box.icon, MsgIcon::None);
    if (c.title != "OVX") {
      EXPECT_FALSE(h.form().isVisible());
    }
  }
}

TEST(Startup, SilentControllerEndsTheProgramAfterCancel) {
  Harness h("[General]\r\nControlLoopNumber=5\r\n[COM]\r\nPort=2\r\nTxDelay=0.2\r\n");
  h.script([](const QByteArray&) { return QByteArray(); });
  h.platform.answers = {MsgAnswer::Cancel};
  EXPECT_FALSE(h.start());
  EXPECT_EQ(h.endStatus, 1);
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_TRUE(h.platform.boxes[0].request.text.contains(
      "is connected to COM2\r\n     - the control loop number [display Nº]\r\n"
      "       of the first control channel is set to 5."));
  EXPECT_FALSE(h.form().isVisible());
}

TEST(Shutdown, QuitCheckAsksOnlyWhileTheHeaterIsOn) {
  struct Case {
    const char* name;
    int heater;
    bool answers;
    std::deque<MsgAnswer> replies;
    bool ends;
  } cases[] = {
      {"heater on, OK", 1, true, {MsgAnswer::Ok}, true},
      {"heater on, Cancel", 1, true, {MsgAnswer::Cancel}, false},
      {"heater off", 0, true, {}, true},
      {"controller silent", 1, false, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.model.dataBlock()[kHeaterOutput] = static_cast<int16_t>(c.heater);
    ASSERT_TRUE(h.start());
    if (!c.answers) h.model.options().fault = sim::Fault::Silent;
    h.platform.answers = c.replies;
    bool Cancel = false;
    int status = -1;
    try {
      h.program().Form_Unload(Cancel);
    } catch (const ProgramEnded& ended) {
      status = ended.status;
    }
    EXPECT_EQ(status, c.ends ? 0 : -1);
    EXPECT_EQ(Cancel, !c.ends);
    EXPECT_EQ(h.platform.boxes.size(), c.replies.size());
    if (!h.platform.boxes.empty()) {
      const MessageBoxRequest& box = h.platform.boxes[0].request;
      EXPECT_EQ(box.text,
                "ATTENTION:\r\nThe heater output is still ON!\r\n\r\nDo you really want to quit?");
      EXPECT_EQ(box.title, "");
      EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
      EXPECT_EQ(box.defaultButton, MsgAnswer::Cancel);
      EXPECT_EQ(box.icon, MsgIcon::None);
    }
  }
}
