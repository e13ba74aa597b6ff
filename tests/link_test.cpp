// The serial link, the controller commands and the connection check, on the
// virtual clock with a scripted or simulated controller.

#include "record/run_log.h"
#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr const char* kDebugIni =
    "[General]\r\nDebug=1\r\nDir=  {dir} \r\n[COM]\r\nRxDelay=0.1\r\nTxDelay=0.2\r\n";

// A started program whose controller answers every read with `replies` in
// turn (the last one repeats).
struct Scripted : Harness {
  explicit Scripted(std::vector<QByteArray> replies, const char* ini = kTestIni) : Harness(ini) {
    EXPECT_TRUE(start());
    script([this, replies](const QByteArray& frame) -> QByteArray {
      if (!frame.startsWith('R')) return {};
      return replies[std::min(next++, replies.size() - 1)];
    });
  }
  size_t next = 0;  // reads answered
};

// A data block holding W 900.
QByteArray Valid() {
  return BlockResponse(EncodeDataBlock(Block(900)));
}

}  // namespace

// With Debug on, the settings are listed at start before the trace of the
// start-up check. One command: CR LF, the send delay, the hourglass back; with
// Debug on, the trace lines, emptied first when more than 500 characters. An
// answer that starts after the exchange is left for the next one, which clears
// it first and shows it (with Debug on), ten characters a line.
TEST(Link, CommandTraceAndLateAnswer) {
  Harness h(kDebugIni);
  ASSERT_TRUE(h.start());
  const QString dir = h.platform.dir(), trace = h.form().statusText();
  EXPECT_TRUE(trace.startsWith("System directory: /usr/lib/\r\nWindows directory: " + dir +
                               "/\r\n\r\nControlLoopNumber: 1\r\nDir: " + dir +
                               "/\r\nPort: 1\r\nComSettings: 9600,n,8,1\r\nRxDelay: .1\r\n"
                               "TxDelay: .2\r\n[CMD>] R001NT?\r\n[116 char's from OVX>] "))
      << trace.toStdString();
  EXPECT_TRUE(trace.contains("Datablock (control loop 1):\r\nnr: 1\r\nSP 1:"));
  for (int length : {500, 501, -1}) {  // -1: Debug off
    h.settings().Debug = length >= 0;
    h.form().setStatusText(QString(std::max(length, 0), 'x'));
    h.mark();
    const double t = h.platform.t;
    h.program().link.SendCommand("R001NF?");
    EXPECT_EQ(h.port().written.back().data, "R001NF?\r\n");
    EXPECT_EQ(h.sent().size(), 1u);
    EXPECT_NEAR(h.platform.t - t, 0.2, 0.006);
    EXPECT_EQ(h.platform.busyCursor, 0);
    const QString response = QString::fromLatin1(h.program().link.ReceiveResponse());
    EXPECT_EQ(response.size(), 116);
    EXPECT_EQ(h.form().statusText(), length < 0 ? ""
                                                : QString(length == 500 ? 500 : 0, 'x') +
                                                      "[CMD>] R001NF?\r\n[116 char's from OVX>] " +
                                                      response + "\r\n");
  }
  h.settings().Debug = true;
  h.script([&](const QByteArray&) { return QByteArray(); });
  h.program().link.SendCommand("R001NT?");
  h.port().deliver("ok", h.platform.t + 0.05);               // within the RxDelay
  h.port().deliver("0123456&89A\r\n", h.platform.t + 0.15);  // after it
  EXPECT_EQ(h.program().link.ReceiveResponse(), "ok");
  h.platform.sleep(1);
  h.platform.answers = {MsgAnswer::Ok};
  h.script(nullptr);
  EXPECT_EQ(h.commands().GetDataBlock(false).size(), 116);  // after the box
  EXPECT_TRUE(OnlyBox(h.platform,
                      "Receive buffer contained  13 Zeichen:\r\n\r\n 48[0] 49[1] 50[2] 51[3] 52[4] "
                      "53[5] 54[6] 38[-] 56[8] 57[9]\r\n 65[A] 13[-] 10[-]\r\n\r\nReceive buffer "
                      "cleared...",
                      "GetDataBlock", MsgButtons::Ok, MsgIcon::None));
  // The default set goes to the loop of the settings.
  h.settings().ControlLoopNumber = 7;
  h.commands().SendDefaultParameterSet();
  EXPECT_TRUE(h.port().written.back().data.startsWith("S007  T")) << h.sent().back().constData();
}

// A failed read: "Invalid response" for a second (one yield), the text before
// it restored, memory untouched; with retry, a beep before each new attempt.
// Answers that the controller cannot have sent count as failed: only NUL
// characters, NULs in the data field, a header naming the other block where
// the controller's headers name theirs (the data block's, since the start).
TEST(Commands, InvalidResponsesAndRetry) {
  const QByteArray nulX = "A001NF" + QByteArray(110, '\0');
  const std::pair<QByteArray, QByteArray> bads[] = {
      // for the data and the value block
      // clang-format off
      {QByteArray(115, ' '), QByteArray(115, ' ')}, {QByteArray(117, ' '), QByteArray(117, ' ')},
      {QByteArray(), QByteArray()}, {QByteArray(116, '\0'), QByteArray(116, '\0')},
      {BlockResponse(EncodeValueBlock({}), BlockKind::Value), nulX},
      {BlockResponse(QByteArray(92, '\0')), nulX},
      // clang-format on
  };
  ValueBlock hot900;
  hot900.ActualTemperature = 900;
  for (const auto& [badData, badValue] : bads) {
    for (int i = 0; i < 4; ++i) {
      const bool retry = i % 2, data = i < 2;
      const QByteArray bad = data ? badData : badValue;
      const QByteArray good =
          data ? Valid() : BlockResponse(EncodeValueBlock(hot900), BlockKind::Value);
      SCOPED_TRACE(testing::Message()
                   << bad.left(20).toPercentEncoding().constData() << " " << bad.size()
                   << (retry ? " retry" : "") << (data ? "" : " value"));
      Scripted s({bad, bad, good});
      const DataBlockWords words = s.commands().DataBlock;
      const int16_t X = s.commands().Values.ActualTemperature;
      s.form().setStatusLine("Busy");
      QStringList seen;
      s.everyYield([&] { seen << s.form().statusLine(); });
      s.recordStatus();
      s.mark();
      const double t = s.platform.t;
      Commands& cmd = s.commands();
      EXPECT_EQ(data ? cmd.GetDataBlock(retry) : cmd.GetValueBlock(retry), retry ? good : bad);
      EXPECT_EQ(seen, QStringList(retry ? 2 : 1, "Invalid response"));
      QStringList texts{data ? "Parameter query in progress..." : "Status query in progress..."};
      for (int n = retry ? 2 : 1; n > 0; --n)
        texts << "Invalid response"
              << "Busy";
      EXPECT_EQ(s.statusTexts(), texts);
      EXPECT_EQ(s.sent(), std::vector<QByteArray>(retry ? 3 : 1, data ? "R001NT?" : "R001NF?"));
      EXPECT_EQ(s.platform.beeps, retry ? 2 : 0);
      EXPECT_EQ(cmd.DataBlock, retry && data ? DecodeDataBlock(DataField(good)) : words);
      EXPECT_EQ(cmd.Values.ActualTemperature, retry && !data ? 900 : X);
      EXPECT_EQ(s.form().W->text(), QString::number(cmd.DataBlock[kSetpoint]));
      EXPECT_NEAR(s.platform.t - t, retry ? 3 * 0.2 + 2 : 1.2, 0.05);  // TxDelay + 1 s each
    }
  }
}

// The no-response box's whole text: startup_test (port 2, loop 5).
TEST(ConnectionCheck, Outcomes) {
  using A = MsgAnswer;
  QByteArray spoilt = Valid();
  spoilt[30] = '~';
  struct Case {
    std::vector<QByteArray> replies;
    bool showMessages;
    std::deque<MsgAnswer> answers;
    int result;
    size_t attempts;
  } cases[] = {
      // clang-format off
      {{Valid()}, true, {}, -1, 1}, {{QByteArray()}, true, {A::Retry, A::Cancel}, 1, 2},
      {{QByteArray(), Valid()}, true, {A::Retry}, -1, 2},
      {{"R001NT?\r\n"}, true, {A::Cancel}, 1, 1},             // the echo: 9 characters
      {{QByteArray(116 + 5, '\0')}, true, {A::Cancel}, 1, 1},  // only NUL characters
      {{spoilt}, true, {A::Cancel}, 3, 1},  // a wrong checksum, since the start's answers had it
      {{BlockResponse(QByteArray(92, '\0'))}, true, {A::Cancel}, 3, 1},  // NULs in the data field
      {{QByteArray(60, 'x')}, true, {A::Ok}, 3, 1}, {{QByteArray()}, false, {}, 1, 1},
      {{QByteArray(60, 'x')}, false, {}, 3, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.replies[0].size() << " " << c.showMessages);
    Scripted s(c.replies, kDebugIni);
    s.platform.answers = c.answers;
    s.form().setStatusText("");
    s.form().HeaterStatus->setText("?");
    EXPECT_EQ(s.form().ops().OVX_Check(c.showMessages), c.result);
    EXPECT_EQ(s.next, c.attempts);
    EXPECT_EQ(s.form().statusText().count("Datablock (control loop 1):"), c.attempts);
    EXPECT_EQ(s.platform.boxes.size(), c.answers.size());
    EXPECT_EQ(s.platform.beeps, static_cast<int>(c.answers.size()));
    const QString invalid =
        "Invalid response from frmOVX\r\n\r\nTry to increase the value of "
        "'TxDelay'\r\nin Section [COM] of " +
        s.platform.dir() + "/ovx.ini";
    // 116 characters that are rejected: a delay cannot help.
    const QString rejected =
        "Invalid response from frmOVX\r\n\r\nThe answer is not a valid data block.\r\n"
        "Please check the connection to COM1.";
    const bool ok = c.result == 3 && c.replies[0].size() != 116;  // the wrong length's box
    for (const MessageBoxRequest& r : s.platform.boxes) {
      EXPECT_EQ(r.title, "OVX-Check");
      EXPECT_EQ(r.icon, MsgIcon::Exclamation);
      EXPECT_EQ(r.buttons, ok ? MsgButtons::Ok : MsgButtons::RetryCancel);
      EXPECT_TRUE(ok ? r.text == invalid
                     : r.defaultButton == MsgAnswer::Retry &&
                           (c.result == 3 ? r.text == rejected
                                          : r.text.startsWith("No response from frmOVX\r\n")))
          << r.text.toStdString();
    }
    EXPECT_EQ(s.form().HeaterStatus->text(), c.result == -1 ? "OFF" : "?");
  }
}

// Controllers that fill their answers in other ways work all through a
// session: start, a steady wait, a heater switch whose write carries back,
// byte for byte, a reserved word that does not decode. The trace says what
// the program learned (an answer refused for it: ConnectionCheck).
TEST(AnswerRule, OtherControllersWorkAllThrough) {
  using sim::Trailer;
  const QString trailer = "Data block trailer is the checksum: verified from now on",
                header = "Data block header names its block: checked from now on";
  const struct {
    sim::ModelOptions options;
    QStringList learned;
  } cases[] = {
      {{.noise = 0, .trailer = Trailer::Zero}, {header}},
      {{.noise = 0, .reservedWord = true}, {trailer, header}},
      {{.noise = 0, .trailer = Trailer::Blank, .namedHeaders = false, .reservedWord = true}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.learned.size());
    Harness h(kDebugIni, c.options);
    h.everyYield([&] {  // every read succeeds: none pauses after a failure
      if (h.form().statusLine() == "Invalid response") throw std::runtime_error("failed");
    });
    ASSERT_TRUE(h.start());
    const QString start = h.form().statusText();
    EXPECT_EQ(start.split("\r\n").filter("from now on"), c.learned);
    EXPECT_EQ(start.contains("\r\nRes.: undecodable\r\n"), c.options.reservedWord);
    h.form().ops().WaitForSteadyState(25);
    h.mark();
    h.form().ops().SwitchHeaterOutput(true);
    const QByteArray field = EncodeDataBlock(Block(32, 10, 300, 60, 1))  // the heater on
                                 .replace(15, 3, c.options.reservedWord ? "@  " : "   ");
    EXPECT_EQ(h.sent()[1], "S001  T " + field + Checksum(field) + "Q");
    EXPECT_EQ(h.commands().DataBlock[5], c.options.reservedWord ? kNoValue : 0);
    EXPECT_TRUE(Idle(h.form()) && h.model.writesApplied() == 1);
  }
}

// An actual temperature that does not decode is no value: the status shows
// it as such, self-optimizing cannot start from it, and the run log leaves
// its cell empty, saying why.
TEST(AnswerRule, UndecodableTemperatureIsNoValue) {
  Harness h(kScripted, Block(900), kDirIni);
  h.script([&](const QByteArray& frame) {
    const QByteArray answer = h.controller.answer(frame);
    if (frame != "R001NF?") return answer;
    return BlockResponse(DataField(answer).replace(0, 3, "@  "), BlockKind::Value);
  });
  h.platform.answers = {MsgAnswer::Ok, MsgAnswer::Ok};
  h.form().ops().menuOVXStatus_Click();
  h.form().ops().SelfOptimizing(900);
  ASSERT_EQ(h.platform.boxes.size(), 2u);
  EXPECT_EQ(h.platform.boxes[0].text.section("\r\n", 1, 1), "Actual Temperature: undecodable");
  EXPECT_TRUE(h.platform.boxes[1].text.startsWith("Self-Optimizing not possible!\r\n") &&
              h.platform.boxes[1].text.contains("\r\nActual Temperature X: undecodable\r\n"));
  RunLog log(h.platform, h.settings());
  log.eventPosted(OperationEvent(OperationEvent::Kind::RunStarted));
  log.readingTaken({h.platform.t, BlockKind::Value, Outcome::Answered, {}, h.commands().Values});
  EXPECT_TRUE(
      h.platform.readFile(log.path()).value_or("").endsWith(",0,,0,0,,,,undecodable: X_C\r\n"));
}
