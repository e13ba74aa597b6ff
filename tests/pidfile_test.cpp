// "pid.par": lookups, rewrites, their failures, and the Load and Save
// commands, on the test platform with real files in a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <optional>

#include "pidstore/pidstore.h"
#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr const char* kInvalidLine = "Invalid PID-Parameter line in file 'pid.par'!";

// A started program whose "Dir" setting is the test's temporary folder.
struct PidHarness : Harness {
  PidHarness() : Harness(kDirIni) { EXPECT_TRUE(start()); }
  QString tmp() const { return QDir(platform.dir()).filePath("pid.tmp"); }
  // W, P, I, D typed into the window.
  void type(const QString& W, const QString& P, const QString& I, const QString& D) {
    const std::pair<QLineEdit*, QString> fields[] = {
        {form().W, W}, {form().P, P}, {form().I, I}, {form().D, D}};
    for (const auto& [field, text] : fields) field->setText(text);
  }
};

}  // namespace

TEST(PidFile, CreatedWithTheDefaultLineOnlyWhenMissing) {
  PidHarness h;
  EXPECT_EQ(h.settings().Dir, h.platform.dir() + "/");
  PidStore& pid = h.program().pidStore;
  h.setPar(std::nullopt);
  pid.CreateDefaultFile();
  EXPECT_EQ(h.readPar(), QByteArray("900=P48I8D2\r\n"));
  h.setPar("1000=P1I2D3\r\n");
  pid.CreateDefaultFile();
  EXPECT_EQ(h.readPar(), QByteArray("1000=P1I2D3\r\n"));
  EXPECT_TRUE(h.platform.boxes.empty());
}

TEST(PidFile, LookupTakesTheFirstLineAtOrAboveTheSetpoint) {
  struct Case {
    const char* name;
    std::optional<QByteArray> file;
    int setpoint;
    PidSet expected;
    const char* invalidLine;  // the line the message shows, or null
  } cases[] = {
      // clang-format off
      {"below the only line", "900=P40I7D1\r\n", 850, {40, 7, 1}, nullptr},
      {"exact", "900=P40I7D1\r\n", 900, {40, 7, 1}, nullptr},
      {"above every line", "900=P40I7D1\r\n", 950, {48, 8, 2}, nullptr},
      {"next higher", "800=P30I5D1\r\n1000=P60I9D3\r\n", 801, {60, 9, 3}, nullptr},
      {"unsorted: first in file order", "1000=P10I1D1\r\n900=P20I2D2\r\n", 900, {10, 1, 1}, nullptr},
      {"lower case", "900=p41i7d3\r\n", 900, {41, 7, 3}, nullptr},
      {"negative numbers", "-10=P-5I-6D-7\r\n", -20, {-5, -6, -7}, nullptr},
      {"remark lines", "; PID set = tuned\r\n\r\nremark\r\n900=P20I2D2\r\n", 900, {20, 2, 2},
       nullptr},
      {"LF line ends", "800=P30I5D1\n1000=P60I9D3", 900, {60, 9, 3}, nullptr},
      {"halves to even", "900.5=P20.5I3.5D2\r\n", 900, {20, 4, 2}, nullptr},
      {"empty file", "", 900, {48, 8, 2}, nullptr},
      {"missing file", std::nullopt, 900, {48, 8, 2}, nullptr},
      {"invalid order, shown upper case", "800=P1I1D1\r\n900=d2i8p48\r\n", 850, {48, 8, 2},
       "900=D2I8P48"},
      {"invalid order skipped", "500=D2I8P48\r\n900=P20I2D2\r\n", 900, {20, 2, 2}, nullptr},
      {"parameter beyond 16 bits", "900=P99999I1D1\r\n", 900, {48, 8, 2}, "900=P99999I1D1"},
      {"setpoint beyond 16 bits", "99999=P1I1D1\r\n", 900, {48, 8, 2}, "99999=P1I1D1"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidHarness h;
    h.setPar(c.file);
    if (c.invalidLine) h.platform.answers = {MsgAnswer::Ok};
    const PidSet set = h.program().pidStore.ReadPIDSet(static_cast<int16_t>(c.setpoint));
    EXPECT_EQ(QList<int>({set.P, set.I, set.D}),
              QList<int>({c.expected.P, c.expected.I, c.expected.D}));
    EXPECT_EQ(h.readPar(), c.file);  // a lookup never changes the file
    if (c.invalidLine) {
      EXPECT_TRUE(OnlyBox(h.platform, "'" + QString(c.invalidLine) + "'\r\n" + kInvalidLine, "",
                          MsgButtons::Ok, MsgIcon::None));
    } else {
      EXPECT_TRUE(h.platform.boxes.empty());
    }
  }
}

TEST(PidFile, RewriteKeepsEveryOtherLineInItsPlace) {
  struct Case {
    const char* name;
    std::optional<QByteArray> before;
    int setpoint;
    QByteArray after;
  } cases[] = {
      // clang-format off
      {"replace equal", "900=P48I8D2\r\n", 900, "900=P50I9D3\r\n"},
      {"insert before larger", "900=P48I8D2\r\n", 850, "850=P50I9D3\r\n900=P48I8D2\r\n"},
      {"append above all", "900=P48I8D2\r\n", 1200, "900=P48I8D2\r\n1200=P50I9D3\r\n"},
      {"empty file", "", 900, "900=P50I9D3\r\n"},
      {"missing file", std::nullopt, 900, "900=P50I9D3\r\n"},
      {"remarks and blank lines stay; PID lines upper case",
       "; Tuned by hand\r\n800=p30i5d1\r\n\r\n1000=P60I9D3\r\n; end of list\r\n", 900,
       "; Tuned by hand\r\n800=P30I5D1\r\n\r\n900=P50I9D3\r\n1000=P60I9D3\r\n; end of list\r\n"},
      {"LF line ends become CR LF", "800=P30I5D1\n1000=p60i9d3", 900,
       "800=P30I5D1\r\n900=P50I9D3\r\n1000=P60I9D3\r\n"},
      {"unsorted: before the first larger line", "1000=P10I1D1\r\n900=P20I2D2\r\n", 900,
       "900=P50I9D3\r\n1000=P10I1D1\r\n900=P20I2D2\r\n"},
      {"invalid and oversized lines copied", "500=d2i8p48\r\n99999=P1I1D1\r\n", 900,
       "500=D2I8P48\r\n900=P50I9D3\r\n99999=P1I1D1\r\n"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidHarness h;
    h.setPar(c.before);
    EXPECT_TRUE(h.program().pidStore.WritePIDSet(static_cast<int16_t>(c.setpoint), 50, 9, 3));
    EXPECT_EQ(h.readPar(), c.after);
    EXPECT_FALSE(QFile::exists(h.tmp()));
    EXPECT_TRUE(h.platform.boxes.empty());
  }
}

TEST(PidFile, FailedRewriteLeavesTheOldFileAndSaysWhy) {
  const QByteArray old = "; mine\r\n900=P48I8D2\r\n";
  PidHarness h;
  h.setPar(old);
  h.platform.failWrite = [](const QString&) { return FileError("Disk full"); };
  h.platform.answers = {MsgAnswer::Ok};
  const int beeps = h.platform.beeps;
  EXPECT_FALSE(h.program().pidStore.WritePIDSet(950, 1, 2, 3));
  EXPECT_EQ(h.readPar(), old);
  EXPECT_EQ(h.platform.beeps, beeps + 1);
  EXPECT_TRUE(OnlyBox(h.platform,
                      "Unable to write file '" + h.par() + "':\r\nDisk full\r\n\r\nThe file '" +
                          h.par() + "' was not changed.",
                      "", MsgButtons::Ok, MsgIcon::Exclamation));

  // The next attempt, with the fault gone, writes the new file whole.
  h.platform.failWrite = nullptr;
  EXPECT_TRUE(h.program().pidStore.WritePIDSet(950, 1, 2, 3));
  EXPECT_EQ(h.readPar(), QByteArray("; mine\r\n900=P48I8D2\r\n950=P1I2D3\r\n"));
}

TEST(PidFile, RewriteNeverReplacesAFolderOfThatName) {
  PidHarness h;
  h.setPar(std::nullopt);
  ASSERT_TRUE(QDir(h.platform.dir()).mkdir("pid.par"));
  h.platform.answers = {MsgAnswer::Ok};
  EXPECT_FALSE(h.program().pidStore.WritePIDSet(900, 1, 2, 3));
  EXPECT_TRUE(QFileInfo(h.par()).isDir());
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_TRUE(h.platform.boxes[0].request.text.startsWith("Unable to write file '" + h.par()));
  // A lookup in a folder finds nothing and gives the default set.
  EXPECT_EQ(h.program().pidStore.ReadPIDSet(900).P, 48);
}

TEST(PidFile, LoadAsksAndChangesOnlyFieldsAndMemory) {
  for (MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::Cancel}) {
    SCOPED_TRACE(answer == MsgAnswer::Ok ? "OK" : "Cancel");
    PidHarness h;
    h.setPar("800=P30I5D1\r\n1000=P60I9D3\r\n");
    h.type("900", "1", "2", "3");
    h.form().setStatusLine("busy");
    const DataBlockWords before = h.commands().DataBlock;
    const size_t frames = h.frames().size();
    h.platform.answers = {answer};
    h.form().ops().menuLoadPID_Click();

    EXPECT_TRUE(OnlyBox(h.platform,
                        "Do you want to replace the actual PID values\r\n"
                        "for Setpoint 900°C with the following values:\r\n\r\n"
                        "     P: 60\r\n     I: 9\r\n     D: 3\r\n\r\n",
                        "Load PID-Parameter", MsgButtons::OkCancel, MsgIcon::Question));
    const bool ok = answer == MsgAnswer::Ok;
    EXPECT_EQ(Fields(h.form()), ok ? "900 60 9 3" : "900 1 2 3");
    DataBlockWords expected = before;
    if (ok) {
      for (auto [word, value] : {std::pair{kSetpoint, 900}, {kPTerm, 60}, {kITerm, 9}, {kDTerm, 3}})
        expected[word] = static_cast<int16_t>(value);
    }
    EXPECT_EQ(h.commands().DataBlock, expected);
    EXPECT_EQ(h.frames().size(), frames);  // nothing sent
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}

TEST(PidFile, SaveAsksAndStoresTheWindowsSet) {
  for (MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::Cancel}) {
    SCOPED_TRACE(answer == MsgAnswer::Ok ? "OK" : "Cancel");
    PidHarness h;
    h.setPar("800=P30I5D1\r\n1000=P60I9D3\r\n");
    h.type("950", "55", "-7", "0.5");
    h.platform.answers = {answer};
    h.form().ops().menuFileSavePID_Click();
    EXPECT_TRUE(OnlyBox(h.platform,
                        "Do you want to save\r\n\r\n     P: 55\r\n     I:-7\r\n     D: .5\r\n\r\n"
                        "for actual Setpoint 950°C?",
                        "Save PID-Parameter", MsgButtons::OkCancel, MsgIcon::Question));
    EXPECT_EQ(h.readPar(), answer == MsgAnswer::Ok
                               ? QByteArray("800=P30I5D1\r\n950=P55I-7D0\r\n1000=P60I9D3\r\n")
                               : QByteArray("800=P30I5D1\r\n1000=P60I9D3\r\n"));
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}

TEST(PidFile, FieldsThatAreNoNumbersAreRefused) {
  struct Case {
    bool save;
    QString w, p;
    QString field;  // named in the message
  } cases[] = {{true, "900", "4x8", "P"}, {true, "40000", "48", "W"}, {false, "", "48", "W"}};
  for (const Case& c : cases) {
    PidHarness h;
    h.setPar("900=P48I8D2\r\n");
    h.type(c.w, c.p, "8", "2");
    const DataBlockWords before = h.commands().DataBlock;
    h.platform.answers = {MsgAnswer::Ok};
    Operations& pid = h.form().ops();
    c.save ? pid.menuFileSavePID_Click() : pid.menuLoadPID_Click();
    const QString text = QString(
                             "The field %1 holds '%2', which is not a number between -32768 "
                             "and 32767.\r\n\r\n%3")
                             .arg(c.field, c.field == "P" ? c.p : c.w,
                                  c.save ? "Nothing was saved." : "No PID-Parameter were loaded.");
    EXPECT_TRUE(OnlyBox(h.platform, text, c.save ? "Save PID-Parameter" : "Load PID-Parameter",
                        MsgButtons::Ok, MsgIcon::None));
    EXPECT_EQ(h.readPar(), QByteArray("900=P48I8D2\r\n"));
    EXPECT_EQ(h.commands().DataBlock, before);
    EXPECT_EQ(Fields(h.form()), c.w + " " + c.p + " 8 2");
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}
