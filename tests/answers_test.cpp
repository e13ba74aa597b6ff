// Answers that the controller cannot have sent never reach it back. (A spoilt
// answer at start: link_test's connection check; at quit: startup_test.)
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// The controller's block, with words a wrong decode would change.
DataBlockWords Controller() {
  DataBlockWords words = DefaultParameterSet();
  words[kSetpoint] = 850;
  words[kSetpointHigh] = 1100;
  words[kPTerm] = 48, words[kITerm] = 8, words[kDTerm] = 2;
  return words;
}

// The bad answers, for the data block and the value block.
struct Bad {
  const char* name;
  QByteArray data, value;
};

std::vector<Bad> BadAnswers() {
  QByteArray overflow = EncodeDataBlock(Controller());
  overflow.replace(12, 3, QByteArray(3, '\x7F'));  // SP H
  QByteArray hot = EncodeValueBlock(ValueBlock{});
  hot.replace(0, 3, QByteArray(3, '\x7F'));  // X
  const QByteArray value = EncodeValueBlock(ValueBlock{});
  return {
      {"116 NULs", QByteArray(116, '\0'), QByteArray(116, '\0')},
      {"a field beyond 16 bits", QByteArray(17, ' ') + overflow + "       ",
       QByteArray(17, ' ') + hot + "       "},
      {"the other block", "A001NF OVX 7316  " + value + Checksum(value) + "Q\r\n",
       "A001NT OVX 7316  " + EncodeDataBlock(Controller()) +
           Checksum(EncodeDataBlock(Controller())) + "Q\r\n"},
  };
}

// A scripted controller whose first answer to each kind of read is `bad`.
void AnswerBadOnce(Harness& h, const Bad& bad) {
  auto first = std::make_shared<std::set<QByteArray>>();
  h.script([&h, bad, first](const QByteArray& frame) {
    if (frame.startsWith('R') && first->insert(frame).second)
      return frame.endsWith("NT?") ? bad.data : bad.value;
    return h.controller.answer(frame);
  });
}

}  // namespace

TEST(Answers, NotABlockIsReadAgainAndNeverWrittenBack) {
  for (const Bad& bad : BadAnswers()) {
    SCOPED_TRACE(bad.name);
    // A heater switch.
    Harness h(kScripted, Controller());
    AnswerBadOnce(h, bad);
    h.form().ops().SwitchHeaterOutput(true);
    DataBlockWords on = Controller();
    on[kHeaterOutput] = 1;
    // Read again after the bad answer; the write carries the controller's words.
    EXPECT_EQ(h.sent(),
              (std::vector<QByteArray>{"R001NT?", "R001NT?", WriteFrame(1, on), "R001NT?"}));

    // A steady-state wait at 0 °C, where a value read as -1 would count.
    Harness w(kScripted, Controller());
    AnswerBadOnce(w, bad);
    w.form().ops().WaitForSteadyState(0);
    EXPECT_EQ(w.sent(), std::vector<QByteArray>(11, "R001NF?"));
    EXPECT_EQ(w.form().statusLine(), "Ready");
  }
}
