// The serial link, the controller commands and the connection check, on the
// virtual clock with a scripted or simulated controller.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "protocol/codec.h"
#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr const char* kDebugIni = "[General]\r\nDebug=1\r\n[COM]\r\nRxDelay=0\r\nTxDelay=0.2\r\n";

// A started program whose controller answers every request with `replies`
// in turn (the last one repeats).
struct Scripted : Harness {
  explicit Scripted(std::vector<QByteArray> list, const char* ini = kTestIni) : Harness(ini) {
    EXPECT_TRUE(start());
    replies = std::move(list);
    script([this](const QByteArray& frame) -> QByteArray {
      if (!frame.startsWith('R')) return {};
      const QByteArray reply = replies[std::min(next, replies.size() - 1)];
      ++next;
      return reply;
    });
  }
  std::vector<QByteArray> replies;
  size_t next = 0;
};

QByteArray validResponse(int setpoint) {
  DataBlockWords words{};
  words[kSetpoint] = static_cast<int16_t>(setpoint);
  return BlockResponse(EncodeDataBlock(words));
}

}  // namespace

TEST(Link, CommandGoesOutWithCrLfAndWaitsTheSendDelay) {
  Harness h;
  ASSERT_TRUE(h.start());
  const size_t before = h.port().written.size();
  const double t = h.platform.t;
  h.program().link.SendCommand("R001NT?");
  ASSERT_EQ(h.port().written.size(), before + 1);
  EXPECT_EQ(h.port().written.back().data, "R001NT?\r\n");
  EXPECT_NEAR(h.platform.t - t, 0.2, 0.006);
  EXPECT_EQ(h.platform.busyCursor, 0);
  EXPECT_EQ(h.form().statusText(), "");  // Debug off: no trace
}

TEST(Link, TraceLinesAndTheFiveHundredCharacterRule) {
  Harness h(kDebugIni);
  ASSERT_TRUE(h.start());
  for (int length : {500, 501}) {  // more than 500 characters: the trace starts afresh
    h.form().setStatusText(QString(length, 'x'));
    h.program().link.SendCommand("R001NF?");
    const QString response = QString::fromLatin1(h.program().link.ReceiveResponse());
    EXPECT_EQ(response.size(), 116);
    EXPECT_EQ(h.form().statusText(), QString(length == 500 ? 500 : 0, 'x') + "[CMD>] R001NF?\r\n" +
                                         "[116 char's from OVX>] " + response + "\r\n");
  }
}

TEST(Link, LeftoverReport) {
  EXPECT_EQ(LeftoverReport("A\r\n"),
            "Receive buffer contained  3 Zeichen:\r\n\r\n 65[A] 13[-] 10[-]\r\n\r\n"
            "Receive buffer cleared...");
  EXPECT_EQ(LeftoverReport("0123456&89"),
            "Receive buffer contained  10 Zeichen:\r\n\r\n 48[0] 49[1] 50[2] 51[3] 52[4] 53[5] "
            "54[6] 38[-] 56[8] 57[9]\r\n\r\n\r\nReceive buffer cleared...");
}

TEST(Link, LateAnswerIsClearedBeforeTheNextExchange) {
  Harness h("[General]\r\nDebug=1\r\n[COM]\r\nTxDelay=1\r\n");
  ASSERT_TRUE(h.start());
  // The answer starts 1.5 s after the command: not part of this exchange.
  h.script([&](const QByteArray&) { return QByteArray(); });
  h.program().link.SendCommand("R001NT?");
  h.port().deliver("A\r\n", h.platform.t + 0.5);
  EXPECT_EQ(h.program().link.ReceiveResponse(), "");
  h.platform.sleep(1);
  h.platform.answers = {MsgAnswer::Ok};
  h.program().link.ClearReceiveBuffer("GetDataBlock");
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_EQ(h.platform.boxes[0].request.title, "GetDataBlock");
  EXPECT_EQ(h.platform.boxes[0].request.text, LeftoverReport("A\r\n"));
  EXPECT_EQ(h.port().readAll(), "");
}

// A failed read: "Invalid response" for a second (one yield), the text before
// it restored, memory untouched; with retry, a beep before each new attempt.
TEST(Commands, InvalidResponsesAndRetry) {
  for (const QByteArray& bad : {QByteArray(115, ' '), QByteArray(117, ' '), QByteArray()}) {
    for (bool retry : {false, true}) {
      SCOPED_TRACE(testing::Message() << bad.size() << (retry ? " retry" : ""));
      Scripted s({bad, bad, validResponse(900)});
      const DataBlockWords before = s.commands().DataBlock;
      s.form().setStatusLine("Busy");
      QStringList seen;
      s.everyYield([&] { seen << s.form().statusLine(); });
      const double t = s.platform.t;
      const QByteArray got = s.commands().GetDataBlock(retry);
      EXPECT_EQ(got, retry ? validResponse(900) : bad);
      EXPECT_EQ(seen, QStringList(retry ? 2 : 1, "Invalid response"));
      EXPECT_EQ(s.form().statusLine(), "Busy");
      EXPECT_EQ(s.next, retry ? 3u : 1u);
      EXPECT_EQ(s.platform.beeps, retry ? 2 : 0);
      EXPECT_EQ(s.commands().DataBlock[kSetpoint], retry ? 900 : before[kSetpoint]);
      EXPECT_EQ(s.form().W->text(), retry ? "900" : QString::number(before[kSetpoint]));
      EXPECT_NEAR(s.platform.t - t, retry ? 3 * 0.2 + 2 : 1.2, 0.05);  // TxDelay + 1 s each
      EXPECT_EQ(s.frames(s.port().written.size() - s.next),
                std::vector<QByteArray>(s.next, "R001NT?"));
    }
  }
}

TEST(Commands, ValueBlockAndWrites) {
  Harness h;
  ASSERT_TRUE(h.start());
  h.form().setStatusLine("Waiting");
  h.model.setTemperature(900.4);
  h.commands().GetValueBlock(true);
  EXPECT_NEAR(h.commands().Values.ActualTemperature, 900, 1);
  EXPECT_EQ(h.form().statusLine(), "Waiting");
  EXPECT_EQ(h.frames().back(), "R001NF?");
  h.commands().DataBlock = {};
  h.commands().DataBlock[kSetpoint] = 900;
  EXPECT_TRUE(h.commands().SendDataBlock());
  EXPECT_EQ(h.frames().back(), "S001  T     X$" + QByteArray(86, ' ') + "0BBCQ");
  EXPECT_EQ(h.model.dataBlock()[kSetpoint], 900);  // the model applied the write
}

TEST(ConnectionCheck, Outcomes) {
  const QString noResponse =
      "No response from frmOVX\r\n\r\nPlease check the following:\r\n\r\n"
      "     - the OVX is switched on\r\n     - the OVX is is connected to COM1\r\n"
      "     - the control loop number [display Nº]\r\n"
      "       of the first control channel is set to 1.";
  using A = MsgAnswer;
  struct Case {
    std::vector<QByteArray> replies;
    bool showMessages;
    std::deque<MsgAnswer> answers;
    int result;
    size_t attempts;
  } cases[] = {
      // clang-format off
      {{validResponse(900)}, true, {}, -1, 1},
      {{QByteArray()}, true, {A::Retry, A::Cancel}, 1, 2},
      {{QByteArray(), validResponse(900)}, true, {A::Retry}, -1, 2},
      {{"R001NT?\r\n"}, true, {A::Cancel}, 1, 1},                // the echo: 9 characters
      {{QByteArray(116 + 5, '\0')}, true, {A::Cancel}, 1, 1},     // only NUL characters
      {{QByteArray(60, 'x')}, true, {A::Ok}, 3, 1},
      {{QByteArray()}, false, {}, 1, 1},
      {{QByteArray(60, 'x')}, false, {}, 3, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.replies[0].size());
    Scripted s(c.replies, kDebugIni);
    s.platform.answers = c.answers;
    s.form().setStatusText("");
    s.form().HeaterStatus->setText("?");
    EXPECT_EQ(s.form().ops().OVX_Check(c.showMessages), c.result);
    EXPECT_EQ(s.next, c.attempts);
    EXPECT_EQ(s.form().statusText().count("Datablock (control loop 1):"), c.attempts);
    EXPECT_EQ(s.platform.boxes.size(), c.answers.size());
    EXPECT_EQ(s.platform.beeps, static_cast<int>(c.answers.size()));
    for (const RecordedBox& box : s.platform.boxes) {
      const MessageBoxRequest& r = box.request;
      EXPECT_EQ(r.title, "OVX-Check");
      EXPECT_EQ(r.icon, MsgIcon::Exclamation);
      if (c.result == 3) {
        EXPECT_EQ(r.text,
                  "Invalid response from frmOVX\r\n\r\nTry to increase the value of "
                  "'TxDelay'\r\nin Section [COM] of " +
                      s.platform.dir() + "/ovx.ini");
        EXPECT_EQ(r.buttons, MsgButtons::Ok);
      } else {
        EXPECT_EQ(r.text, noResponse);
        EXPECT_EQ(r.buttons, MsgButtons::RetryCancel);
        EXPECT_EQ(r.defaultButton, MsgAnswer::Retry);
      }
    }
    EXPECT_EQ(s.form().HeaterStatus->text(), c.result == -1 ? "OFF" : "?");
  }
}

TEST(LostPort, ReadsRetryAndResumeWhenThePortComesBack) {
  Harness h;
  ASSERT_TRUE(h.start());
  h.port().lost = true;
  h.platform.at(h.platform.t + 5, [&] { h.port().lost = false; });
  const double t = h.platform.t;
  EXPECT_EQ(h.commands().GetDataBlock(true).size(), 116);
  EXPECT_GT(h.platform.t - t, 4.0);
  EXPECT_GE(h.platform.beeps, 3);
}
