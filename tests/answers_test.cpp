// Answers that the controller cannot have sent never reach it back, and a
// spoilt answer at start or quit leads to the safe question.
#include <gtest/gtest.h>

#include <QLineEdit>
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
    // A heater switch: the write carries the controller's own words.
    Harness h(kScripted, Controller());
    AnswerBadOnce(h, bad);
    h.form().ops().SwitchHeaterOutput(true);
    DataBlockWords on = Controller();
    on[kHeaterOutput] = 1;
    EXPECT_EQ(WrittenBlocks(h.sent()), std::vector<DataBlockWords>{on});
    EXPECT_EQ(h.sent().front(), "R001NT?");
    EXPECT_EQ(h.sent().at(1), "R001NT?");  // read again after the bad answer

    // A steady-state wait at 0 °C, where a value read as -1 would count.
    Harness w(kScripted, Controller());
    AnswerBadOnce(w, bad);
    w.form().ops().WaitForSteadyState(0);
    EXPECT_EQ(w.sent(), std::vector<QByteArray>(11, "R001NF?"));
    EXPECT_EQ(w.form().statusLine(), "Ready");
    EXPECT_TRUE(WrittenBlocks(w.sent()).empty());
  }
}

TEST(Answers, SpoiltAnswerAtStartOffersRetryAndAtQuitAsksAboutTheHeater) {
  const QByteArray good = BlockResponse(EncodeDataBlock(Controller()));
  QByteArray spoilt = good;
  spoilt[30] = '~';  // the checksum disagrees
  // At start: the Retry/Cancel box of a missing answer; Retry on a good line
  // starts the program.
  Harness h;
  int reads = 0;
  h.script([&](const QByteArray&) { return ++reads == 1 ? spoilt : good; });
  h.platform.answers = {MsgAnswer::Retry};
  ASSERT_TRUE(h.start());
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_EQ(h.platform.boxes[0].request.buttons, MsgButtons::RetryCancel);
  EXPECT_TRUE(h.platform.boxes[0].request.text.startsWith("No response from frmOVX"));
  EXPECT_EQ(Fields(h.form()), "850 48 8 2");

  // At quit with the heater on: the spoilt answer counts as one, the read
  // that follows decides, and the operator is asked.
  DataBlockWords on = Controller();
  on[kHeaterOutput] = 1;
  QByteArray spoiltOn = BlockResponse(EncodeDataBlock(on));
  spoiltOn[30] = '~';
  reads = 0;
  h.script([&](const QByteArray&) {
    return ++reads == 1 ? spoiltOn : BlockResponse(EncodeDataBlock(on));
  });
  h.platform.boxes.clear();
  h.platform.answers = {MsgAnswer::Cancel};
  bool Cancel = false;
  h.program().Form_Unload(Cancel);
  EXPECT_TRUE(Cancel);
  EXPECT_TRUE(OnlyBox(h.platform,
                      "ATTENTION:\r\nThe heater output is still ON!\r\n\r\nDo you really want "
                      "to quit?",
                      "", MsgButtons::OkCancel, MsgIcon::None));
}
