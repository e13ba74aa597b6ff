// The main window's direct operations: the parameter fields, heater output
// switching, the status query and setpoint entry, against a scripted
// controller on the virtual clock.

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;
using Frames = std::vector<QByteArray>;

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
      {"P 500.1", 'P', {"850", "500.1", "8", "2"}, {}, "P value is out of range [0 <= P <= 500]."},
      {"I 12.5 sends 12", 'I', {"850", "48", "12.5", "2"}, {850, 48, 12, 2}, nullptr},
      {"I 5000", 'I', {"850", "48", "5000", "2"}, {850, 48, 5000, 2}, nullptr},
      {"I 5001", 'I', {"850", "48", "5001", "2"}, {}, "I value is out of range [0 <= I <= 5000]."},
      {"W at SP L", 'W', {"0", "48", "8", "2"}, {0, 48, 8, 2}, nullptr},
      {"W at SP H", 'W', {"1200", "48", "8", "2"}, {1200, 48, 8, 2}, nullptr},
      {"W 1300", 'W', {"1300", "48", "8", "2"}, {},
       "Set point value is out of range [0 <= W <= 1200]."},
      {"the other fields are not range-tested", 'D', {"9000", "600", "-3", "2"},
       {9000, 600, -3, 2}, nullptr},
      // The range test reads the leading number; the write needs the whole text as a number.
      {"W 850abc", 'W', {"850abc", "48", "8", "2"}, {}, "W value is not a number.", 'W'},
      {"another field empty", 'P', {"850", "48", "8", ""}, {}, "D value is empty.", 'D'},
      {"another field not a number", 'P', {"850", "48", "abc", "2"}, {}, "I value is not a number.", 'I'},
      {"another field beyond 16 bits", 'P', {"850", "48", "40000", "2"}, {},
       "I value is out of range [-32768 <= I <= 32767].", 'I'},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(kScripted, Block(850, 48, 8, 2));
    QLineEdit* fields[] = {h.form().W, h.form().P, h.form().I, h.form().D};
    auto byName = [&](char name) { return fields[std::string("WPID").find(name)]; };
    for (int i = 0; i < 4; ++i) fields[i]->setText(QString::fromUtf8(c.texts[i]));
    h.platform.answers = {MsgAnswer::Ok};

    h.form().ops().parameterKeyPress(byName(c.field), 13);

    const auto [W, P, I, D] = c.refusal ? std::array{850, 48, 8, 2} : c.sent;
    const DataBlockWords expected = Block(W, P, I, D);
    EXPECT_EQ(h.sent(), c.refusal ? Frames{} : Frames{WriteFrame(1, expected)});
    EXPECT_EQ(h.commands().DataBlock, expected);
    if (c.refusal) {
      EXPECT_TRUE(
          OnlyBox(h.platform, c.refusal, "Invalid input", MsgButtons::Ok, MsgIcon::Critical));
      EXPECT_EQ(h.platform.beeps, 1);
      QLineEdit* selected = byName(c.selected ? c.selected : c.field);
      EXPECT_EQ(selected->selectedText(), selected->text());
    } else {
      // No read back: the fields show what was sent.
      EXPECT_EQ(Fields(h.form()), QString("%1 %2 %3 %4").arg(W).arg(P).arg(I).arg(D));
    }
  }
}

// F7/F8 (a request) and the double click (toggles from the word in memory;
// 2 counts as on): read, and only on a change write and read back.
TEST(Heater, SwitchReadsWritesOnlyOnAChangeAndReadsBack) {
  struct Case {
    int controller;  // word 37 on the controller
    bool on;         // the request
    bool writes;
    int memory = -1;  // word 37 in memory for a double click; -1: a request
  } cases[] = {
      {0, true, true},      {1, false, true},   {1, true, false},
      {0, false, false},    {2, true, true},    {2, false, true},
      {0, false, false, 1}, {0, true, true, 0}, {1, false, true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.controller << c.on << c.memory);
    Harness h(kScripted, Block(850, 48, 8, 2, c.controller));
    h.form().HeaterStatus->setText("?");  // to see whether it is redrawn
    h.recordStatus();
    h.commands().DataBlock[kHeaterOutput] = static_cast<int16_t>(std::max(c.memory, 0));
    c.memory < 0 ? h.form().ops().SwitchHeaterOutput(c.on) : h.form().ops().HeaterStatus_DblClick();

    const QString progress =
        c.on ? "Switching heater output ON..." : "Switching heater output OFF...";
    const QString query = "Parameter query in progress...";
    Frames frames{"R001NT?"};
    QStringList texts{progress, query, progress};
    if (c.writes) {
      frames.insert(frames.end(), {WriteFrame(1, Block(850, 48, 8, 2, c.on)), "R001NT?"});
      texts << query << progress;
    }
    EXPECT_EQ(h.sent(), frames);
    EXPECT_EQ(h.statusTexts(), texts << "Ready");
    EXPECT_EQ(h.form().HeaterStatus->text(), !c.writes ? "?" : c.on ? "ON" : "OFF");
    EXPECT_EQ(h.platform.beeps, c.writes ? 1 : 0);
  }
}

TEST(Status, BoxLineForLine) {
  struct Case {
    int W, X, P, I, D, out, optimization, output;
    const char* text;
  } cases[] = {
      {900, 850, 48, 8, 2, 2, 2, 1,  // heater word 2 counts as on
       "Setpoint: 900\r\nActual Temperature: 850\r\n\r\nP: 48\r\nI: 8\r\nD: 2\r\n\r\n"
       "Heater Output is ON\r\n\r\nOptimization Status: 2\r\nOutput Status: 1"},
      {-5, -12, 10, 0, 0, 0, 0, 0,
       "Setpoint:-5\r\nActual Temperature:-12\r\n\r\nP: 10\r\nI: 0\r\nD: 0\r\n\r\n"
       "Heater Output is OFF\r\n\r\nOptimization Status: 0\r\nOutput Status: 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.W);
    Harness h(kScripted, Block(1, 1, 1, 1));
    h.controller.words = Block(c.W, c.P, c.I, c.D, c.out);
    h.controller.values.ActualTemperature = static_cast<int16_t>(c.X);
    h.controller.values.OptimizationStatus = static_cast<int16_t>(c.optimization);
    h.controller.values.OutputStatus = static_cast<int16_t>(c.output);
    h.form().setStatusLine("Before");
    h.platform.answers = {MsgAnswer::Ok};

    h.form().ops().menuOVXStatus_Click();

    EXPECT_TRUE(OnlyBox(h.platform, c.text, "OVX-Status", MsgButtons::Ok, MsgIcon::None));
    EXPECT_EQ(h.sent(), (Frames{"R001NT?", "R001NF?"}));
    EXPECT_EQ(h.form().statusLine(), "Before");
    EXPECT_EQ(Fields(h.form()), QString("%1 %2 %3 %4").arg(c.W).arg(c.P).arg(c.I).arg(c.D));
  }
}

TEST(Setpoint, InputLoop) {
  using Reply = std::optional<QString>;
  struct Case {
    const char* name;
    int low;  // SP H is 1200
    std::deque<Reply> replies;
    std::optional<int16_t> result;
    int refusals;
  } cases[] = {
      // clang-format off
      {"850.5 gives 850", 0, {"850.5"}, 850, 0},  {"851.5 gives 852", 0, {"851.5"}, 852, 0},
      {"unit after the number", 0, {" 850 °C "}, 850, 0},
      {"out of range, then in range", 0, {"1200.4", "-1", "1199.6"}, 1200, 2},
      {"Cancel", 0, {std::nullopt}, std::nullopt, 0}, {"empty", 0, {"   "}, std::nullopt, 0},
      {"-1 in range is a setpoint, not a cancellation", -50, {"-1"}, -1, 0},
      {"no number refused, although 0 is in range", 0, {"abc", "0"}, 0, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(kScripted, Block(1, 1, 1, 1));
    h.controller.words = Block(850, 48, 8, 2, 0, c.low, 1200);
    h.platform.inputs = c.replies;
    h.platform.answers = std::deque<MsgAnswer>(static_cast<size_t>(c.refusals), MsgAnswer::Ok);

    EXPECT_EQ(h.form().ops().EnterSetpoint(), c.result);

    EXPECT_EQ(h.sent(), Frames{"R001NT?"});  // read once, nothing written
    EXPECT_EQ(h.form().W->text(), "850");
    ASSERT_EQ(h.platform.inputBoxes.size(), c.replies.size());
    const QString range = QString(" %1°C ... 1200°C").arg(c.low).replace(" -", "-");
    for (const QStringList& input : h.platform.inputBoxes)
      EXPECT_EQ(input.join('|'),
                "New Setpoint W|Enter new Setpoint W\r\n(Range:" + range + "):|850°C");
    ASSERT_EQ(h.platform.boxes.size(), static_cast<size_t>(c.refusals));
    for (const MessageBoxRequest& box : h.platform.boxes)
      EXPECT_EQ(box.title + "|" + box.text,
                "New Setpoint|Value out of Range!\r\nValid range: " + range + ".");
    EXPECT_EQ(h.platform.beeps, c.refusals);
  }
}
