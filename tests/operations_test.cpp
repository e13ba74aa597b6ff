// The main window's direct operations: the parameter fields, heater output
// switching, the status query and setpoint entry, against a scripted
// controller on the virtual clock.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "scripted_controller.h"

using namespace ovx;
using namespace ovx::test;

namespace {

DataBlockWords Block(int W, int P, int I, int D, int out = 0, int low = 0, int high = 1200) {
  DataBlockWords words = DefaultParameterSet();
  words[kSetpoint] = static_cast<int16_t>(W);
  words[kPTerm] = static_cast<int16_t>(P);
  words[kITerm] = static_cast<int16_t>(I);
  words[kDTerm] = static_cast<int16_t>(D);
  words[kHeaterOutput] = static_cast<int16_t>(out);
  words[kSetpointLow] = static_cast<int16_t>(low);
  words[kSetpointHigh] = static_cast<int16_t>(high);
  return words;
}

QByteArray Write(const DataBlockWords& words) {
  return WriteFrame(1, words);
}

}  // namespace

// --- Parameter fields ---

TEST(Fields, EnterChecksTheRangeAndWritesAllFour) {
  // clang-format off
  struct Case {
    const char* name;
    char field;               // where Enter is pressed
    const char* texts[4];     // W, P, I, D as typed
    std::array<int, 4> sent;  // words 1, 14, 16, 17 written (when accepted)
    const char* refusal;      // box text, or null when accepted
    char selected = 0;        // field whose text is selected after a refusal
  } cases[] = {
      {"P 500", 'P', {"850", "500", "8", "2"}, {850, 500, 8, 2}, nullptr},
      {"P 0", 'P', {"850", "0", "8", "2"}, {850, 0, 8, 2}, nullptr},
      {"P 500.1", 'P', {"850", "500.1", "8", "2"}, {}, "P value is out of range [0 <= P <= 500]."},
      {"P -1", 'P', {"850", "-1", "8", "2"}, {}, "P value is out of range [0 <= P <= 500]."},
      {"I 12.5 sends 12", 'I', {"850", "48", "12.5", "2"}, {850, 48, 12, 2}, nullptr},
      {"I 13.5 sends 14", 'I', {"850", "48", "13.5", "2"}, {850, 48, 14, 2}, nullptr},
      {"I 5000", 'I', {"850", "48", "5000", "2"}, {850, 48, 5000, 2}, nullptr},
      {"I 5001", 'I', {"850", "48", "5001", "2"}, {}, "I value is out of range [0 <= I <= 5000]."},
      {"D 5001", 'D', {"850", "48", "8", "5001"}, {}, "D value is out of range [0 <= D <= 5000]."},
      {"W at SP L", 'W', {"0", "48", "8", "2"}, {0, 48, 8, 2}, nullptr},
      {"W at SP H", 'W', {"1200", "48", "8", "2"}, {1200, 48, 8, 2}, nullptr},
      {"W 1300", 'W', {"1300", "48", "8", "2"}, {},
       "Set point value is out of range [0 <= W <= 1200]."},
      {"the other fields are not range-tested", 'D', {"9000", "600", "-3", "2"},
       {9000, 600, -3, 2}, nullptr},
      {"blanks around a number", 'D', {" 850 ", "48", "8", "2 "}, {850, 48, 8, 2}, nullptr},
      // The range test reads the leading number; the write needs the whole text as a number.
      {"W 850abc", 'W', {"850abc", "48", "8", "2"}, {}, "W value is not a number.", 'W'},
      {"P 7kg", 'P', {"850", " 7kg", "8", "2"}, {}, "P value is not a number.", 'P'},
      {"comma is no decimal point", 'P', {"850", "4,5", "8", "2"}, {}, "P value is not a number.", 'P'},
      {"another field empty", 'P', {"850", "48", "8", ""}, {}, "D value is empty.", 'D'},
      {"another field not a number", 'P', {"850", "48", "abc", "2"}, {}, "I value is not a number.", 'I'},
      {"another field beyond 16 bits", 'P', {"850", "48", "40000", "2"}, {},
       "I value is out of range [-32768 <= I <= 32767].", 'I'},
      {"another field rounds beyond 16 bits", 'W', {"850", "48", "8", "-32768.6"}, {},
       "D value is out of range [-32768 <= D <= 32767].", 'D'},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHarness h(Block(850, 48, 8, 2));
    ASSERT_TRUE(h.started);
    frmOVX& form = h.form();
    QLineEdit* fields[] = {form.W, form.P, form.I, form.D};
    auto byName = [&](char name) { return fields[std::string("WPID").find(name)]; };
    for (int i = 0; i < 4; ++i) fields[i]->setText(QString::fromUtf8(c.texts[i]));
    h.platform.answers = {MsgAnswer::Ok};
    const DataBlockWords before = h.g().DataBlock;

    h.program().ops.FieldKeyPress(byName(c.field), 13);

    if (c.refusal) {
      ASSERT_EQ(h.platform.boxes.size(), 1u);
      const MessageBoxRequest& box = h.platform.boxes[0].request;
      EXPECT_EQ(box.text, c.refusal);
      EXPECT_EQ(box.title, "Invalid input");
      EXPECT_EQ(box.icon, MsgIcon::Critical);
      EXPECT_EQ(box.buttons, MsgButtons::Ok);
      EXPECT_EQ(h.platform.beeps, 1);
      EXPECT_TRUE(h.sent().empty());
      EXPECT_EQ(h.g().DataBlock, before);
      QLineEdit* selected = byName(c.selected ? c.selected : c.field);
      EXPECT_EQ(selected->selectedText(), selected->text());
      if (!selected->text().isEmpty()) {
        EXPECT_EQ(selected->selectionStart(), 0);
      }
    } else {
      EXPECT_TRUE(h.platform.boxes.empty());
      DataBlockWords expected = before;
      expected[kSetpoint] = static_cast<int16_t>(c.sent[0]);
      expected[kPTerm] = static_cast<int16_t>(c.sent[1]);
      expected[kITerm] = static_cast<int16_t>(c.sent[2]);
      expected[kDTerm] = static_cast<int16_t>(c.sent[3]);
      EXPECT_EQ(h.sent(), std::vector<QByteArray>{Write(expected)});
      EXPECT_EQ(h.controller.words, expected);
      // No read back: the fields show what was sent.
      for (int i = 0; i < 4; ++i) EXPECT_EQ(fields[i]->text(), QString::number(c.sent[i]));
    }
  }
}

TEST(Fields, FrameOfAWriteByteForByte) {
  ScriptedHarness h(DataBlockWords{});
  ASSERT_TRUE(h.started);
  // W is written without a range test when Enter is pressed in P.
  h.form().W->setText("900");
  h.form().P->setText("0");
  h.form().I->setText("0");
  h.form().D->setText("0");
  h.program().ops.FieldKeyPress(h.form().P, 13);
  EXPECT_EQ(h.sent(), std::vector<QByteArray>{"S001  T " + QByteArray(3, ' ') + " X$" +
                                              QByteArray(63 + 23, ' ') + "0BBCQ"});
}

TEST(Fields, EscapeRestoresTheFieldAndOtherKeysDoNothing) {
  ScriptedHarness h(Block(850, 48, 8, 2));
  ASSERT_TRUE(h.started);
  QLineEdit* P = h.form().P;
  P->setText("77");
  h.program().ops.FieldKeyPress(P, 'x');
  EXPECT_EQ(P->text(), "77");
  P->selectAll();
  h.program().ops.FieldKeyPress(P, 27);
  EXPECT_EQ(P->text(), "48");
  EXPECT_EQ(P->cursorPosition(), 0);
  EXPECT_FALSE(P->hasSelectedText());
  h.form().W->setText("-5x");
  h.g().DataBlock[kSetpoint] = -5;
  h.program().ops.FieldKeyPress(h.form().W, 27);
  EXPECT_EQ(h.form().W->text(), "-5");
  // A field that is none of the four is left alone.
  h.program().ops.FieldKeyPress(h.form().StatusLine, 13);
  EXPECT_TRUE(h.sent().empty());
  EXPECT_TRUE(h.platform.boxes.empty());
}

// --- Heater output ---

TEST(Heater, SwitchReadsWritesOnlyOnAChangeAndReadsBack) {
  struct Case {
    const char* name;
    int controller;  // word 37 on the controller
    bool on;         // the request
    bool writes;
  } cases[] = {
      {"on when off", 0, true, true},         {"off when on", 1, false, true},
      {"on when already on", 1, true, false}, {"off when already off", 0, false, false},
      {"on from 2", 2, true, true},           {"off from 2", 2, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHarness h(Block(850, 48, 8, 2, c.controller));
    ASSERT_TRUE(h.started);
    // The indicator shows something else, to see whether it is redrawn.
    h.form().HeaterStatus->setText("?");
    QStringList lines;
    QObject::connect(h.form().StatusLine, &QLineEdit::textChanged,
                     [&](const QString& text) { lines << text; });

    h.program().ops.SwitchHeaterOutput(c.on);

    const int16_t wanted = c.on ? 1 : 0;
    const QString progress =
        c.on ? "Switching heater output ON..." : "Switching heater output OFF...";
    if (c.writes) {
      DataBlockWords written = Block(850, 48, 8, 2, wanted);
      EXPECT_EQ(h.sent(), (std::vector<QByteArray>{"R001NT?", Write(written), "R001NT?"}));
      EXPECT_EQ(h.form().HeaterStatus->text(), c.on ? "ON" : "OFF");
      EXPECT_EQ(h.platform.beeps, 1);
      EXPECT_EQ(lines, QStringList({progress, "Parameter query in progress...", progress,
                                    "Parameter query in progress...", progress, "Ready"}));
    } else {
      EXPECT_EQ(h.sent(), std::vector<QByteArray>{"R001NT?"});
      EXPECT_EQ(h.form().HeaterStatus->text(), "?");
      EXPECT_EQ(h.platform.beeps, 0);
    }
    EXPECT_EQ(h.controller.words[kHeaterOutput], c.writes ? wanted : c.controller);
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}

TEST(Heater, DoubleClickTogglesFromTheWordInMemory) {
  struct Case {
    const char* name;
    int memory, controller;
    std::vector<QByteArray> frames;
    int after;
  } cases[] = {
      {"memory on, controller already off: nothing written", 1, 0, {"R001NT?"}, 0},
      {"memory off: switches on", 0, 0, {"R001NT?", Write(Block(850, 48, 8, 2, 1)), "R001NT?"}, 1},
      {"memory 2 counts as on: switches off",
       2,
       1,
       {"R001NT?", Write(Block(850, 48, 8, 2, 0)), "R001NT?"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHarness h(Block(850, 48, 8, 2, c.controller));
    ASSERT_TRUE(h.started);
    h.g().DataBlock[kHeaterOutput] = static_cast<int16_t>(c.memory);
    h.program().ops.HeaterStatus_DblClick();
    EXPECT_EQ(h.sent(), c.frames);
    EXPECT_EQ(h.controller.words[kHeaterOutput], c.after);
  }
}

// --- Status query ---

TEST(Status, BoxLineForLine) {
  struct Case {
    const char* name;
    int W, X, P, I, D, out, optimization, output;
    const char* text;
  } cases[] = {
      {"example", 900, 850, 48, 8, 2, 1, 0, 1,
       "Setpoint: 900\r\nActual Temperature: 850\r\n\r\nP: 48\r\nI: 8\r\nD: 2\r\n\r\n"
       "Heater Output is ON\r\n\r\nOptimization Status: 0\r\nOutput Status: 1"},
      {"negative temperature, heater word 2", 0, -12, 0, 300, 60, 2, 2, 0,
       "Setpoint: 0\r\nActual Temperature:-12\r\n\r\nP: 0\r\nI: 300\r\nD: 60\r\n\r\n"
       "Heater Output is ON\r\n\r\nOptimization Status: 2\r\nOutput Status: 0"},
      {"heater off", -5, 20, 10, 0, 0, 0, 0, 0,
       "Setpoint:-5\r\nActual Temperature: 20\r\n\r\nP: 10\r\nI: 0\r\nD: 0\r\n\r\n"
       "Heater Output is OFF\r\n\r\nOptimization Status: 0\r\nOutput Status: 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHarness h(Block(1, 1, 1, 1));
    ASSERT_TRUE(h.started);
    h.controller.words = Block(c.W, c.P, c.I, c.D, c.out);
    h.controller.values.ActualTemperature = static_cast<int16_t>(c.X);
    h.controller.values.OptimizationStatus = static_cast<int16_t>(c.optimization);
    h.controller.values.OutputStatus = static_cast<int16_t>(c.output);
    h.form().setStatusLine("Before");
    h.platform.answers = {MsgAnswer::Ok};

    h.program().ops.menuOVXStatus_Click();

    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const MessageBoxRequest& box = h.platform.boxes[0].request;
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.title, "OVX-Status");
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    EXPECT_EQ(box.icon, MsgIcon::None);
    EXPECT_EQ(h.sent(), (std::vector<QByteArray>{"R001NT?", "R001NF?"}));
    EXPECT_EQ(h.form().statusLine(), "Before");
    EXPECT_EQ(h.form().W->text(), QString::number(c.W));
    EXPECT_EQ(h.form().I->text(), QString::number(c.I));
  }
}

// --- Setpoint entry ---

TEST(Setpoint, InputLoop) {
  using Reply = std::optional<QString>;
  struct Case {
    const char* name;
    int low, high;
    std::deque<Reply> replies;
    std::optional<int16_t> result;
    int refusals;
  } cases[] = {
      {"850.5 gives 850", 0, 1200, {"850.5"}, 850, 0},
      {"851.5 gives 852", 0, 1200, {"851.5"}, 852, 0},
      {"unit after the number", 0, 1200, {" 850°C "}, 850, 0},
      {"SP H accepted", 0, 1200, {"1200"}, 1200, 0},
      {"out of range, then in range", 0, 1200, {"1200.4", "-1", "1199.6"}, 1200, 2},
      {"Cancel", 0, 1200, {std::nullopt}, std::nullopt, 0},
      {"empty reply", 0, 1200, {"   "}, std::nullopt, 0},
      {"refused, then Cancel", 0, 1200, {"5000", std::nullopt}, std::nullopt, 1},
      {"-1 in range is a setpoint, not a cancellation", -50, 1200, {"-1"}, -1, 0},
      {"no number counts as 0", 0, 1200, {"abc"}, 0, 0},
      {"no number refused above 0", 10, 1200, {"abc", "10"}, 10, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHarness h(Block(1, 1, 1, 1));
    ASSERT_TRUE(h.started);
    h.controller.words = Block(850, 48, 8, 2, 0, c.low, c.high);
    h.platform.inputs = c.replies;
    h.platform.answers = std::deque<MsgAnswer>(static_cast<size_t>(c.refusals), MsgAnswer::Ok);

    EXPECT_EQ(h.program().ops.EnterSetpoint(), c.result);

    EXPECT_EQ(h.sent(), std::vector<QByteArray>{"R001NT?"});  // read once, nothing written
    EXPECT_EQ(h.form().W->text(), "850");
    ASSERT_EQ(h.platform.inputBoxes.size(), c.replies.size());
    const QString range = QString(" %1°C ... %2°C").arg(c.low).arg(c.high).replace(" -", "-");
    for (const RecordedInput& input : h.platform.inputBoxes) {
      EXPECT_EQ(input.title, "New Setpoint W");
      EXPECT_EQ(input.prompt, "Enter new Setpoint W\r\n(Range:" + range + "):");
      EXPECT_EQ(input.defaultText, "850°C");
    }
    ASSERT_EQ(h.platform.boxes.size(), static_cast<size_t>(c.refusals));
    for (const RecordedBox& box : h.platform.boxes) {
      EXPECT_EQ(box.request.text, "Value out of Range!\r\nValid range: " + range + ".");
      EXPECT_EQ(box.request.title, "New Setpoint");
      EXPECT_EQ(box.request.icon, MsgIcon::None);
    }
    EXPECT_EQ(h.platform.beeps, c.refusals);
  }
  // The literal's blank and the blank-signed form's blank.
  ScriptedHarness h;
  h.platform.inputs = {"1300", std::nullopt};
  h.platform.answers = {MsgAnswer::Ok};
  h.program().ops.EnterSetpoint();
  EXPECT_EQ(h.platform.boxes.at(0).request.text,
            "Value out of Range!\r\nValid range:  0°C ... 1200°C.");
}
