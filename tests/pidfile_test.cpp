// "pid.par": lookups and rewrites on its text, the file on disk with its
// failures, and the Load and Save commands, on the test platform with real
// files in a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <optional>

#include "pidstore/pidstore.h"
#include "protocol/pidtext.h"
#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr const char* kInvalidLine = "Invalid PID-Parameter line in file 'pid.par'!";

// A started program whose "Dir" setting is the test's temporary folder.
struct PidHarness : Harness {
  PidHarness() : Harness(kDirIni) { EXPECT_TRUE(start()); }
  // W, P, I, D typed into the window.
  void type(const QString& W, const QString& P, const QString& I, const QString& D) {
    const std::pair<QLineEdit*, QString> fields[] = {
        {form().W, W}, {form().P, P}, {form().I, I}, {form().D, D}};
    for (const auto& [field, text] : fields) field->setText(text);
  }
};

}  // namespace

// Lookup and rewrite on the file's text: which line is selected or replaced,
// and what every other line becomes.
TEST(PidText, LookupAndRewrite) {
  struct Case {
    const char* name;
    QByteArray file;
    int setpoint;
    const char* found;     // "P I D" of the line selected, "none", or the invalid line shown
    QByteArray rewritten;  // after storing P 50, I 9, D 3 for the setpoint
  } cases[] = {
      // clang-format off
      {"below the only line", "900=P40I7D1\r\n", 850, "40 7 1", "850=P50I9D3\r\n900=P40I7D1\r\n"},
      {"equal", "900=P40I7D1\r\n", 900, "40 7 1", "900=P50I9D3\r\n"},
      {"above every line", "900=P40I7D1\r\n", 950, "none", "900=P40I7D1\r\n950=P50I9D3\r\n"},
      {"next higher", "800=P30I5D1\r\n1000=P60I9D3\r\n", 801, "60 9 3",
       "800=P30I5D1\r\n801=P50I9D3\r\n1000=P60I9D3\r\n"},
      {"unsorted: the first in file order", "1000=P10I1D1\r\n900=P20I2D2\r\n", 900, "10 1 1",
       "900=P50I9D3\r\n1000=P10I1D1\r\n900=P20I2D2\r\n"},
      {"lower case, LF ends, no last end", "800=p30i5d1\n1000=p60i9d3", 900, "60 9 3",
       "800=P30I5D1\r\n900=P50I9D3\r\n1000=P60I9D3\r\n"},
      {"negative numbers", "-10=P-5I-6D-7\r\n", -20, "-5 -6 -7", "-20=P50I9D3\r\n-10=P-5I-6D-7\r\n"},
      {"halves to even", "900.5=P20.5I3.5D2\r\n", 900, "20 4 2", "900=P50I9D3\r\n"},
      {"empty file", "", 900, "none", "900=P50I9D3\r\n"},
      {"remarks and blank lines stay", "; Tuned\r\n\r\nremark\r\n900=P20I2D2\r\n; end\r\n", 900,
       "20 2 2", "; Tuned\r\n\r\nremark\r\n900=P50I9D3\r\n; end\r\n"},
      {"a remark holding P = I D at 0", "; PID set = tuned\r\n900=P1I2D3\r\n", 0, "1 2 3",
       "; PID set = tuned\r\n0=P50I9D3\r\n900=P1I2D3\r\n"},
      {"a remark below 0", "; PID set = tuned\r\n", -5, "none", "; PID set = tuned\r\n-5=P50I9D3\r\n"},
      {"no number before =", "=P1I2D3\r\n", 0, "none", "=P1I2D3\r\n0=P50I9D3\r\n"},
      {"0 is a number", "0=P1I2D3\r\n", 0, "1 2 3", "0=P50I9D3\r\n"},
      {"sign or point alone", "-=P9I9D9\r\n.=P9I9D9\r\n \t-5=P1I2D3\r\n", -5, "1 2 3",
       "-=P9I9D9\r\n.=P9I9D9\r\n-5=P50I9D3\r\n"},
      {"+.6 begins a number", "+.6=p4i5d6\r\n", 1, "4 5 6", "1=P50I9D3\r\n"},
      {"invalid order", "800=P1I1D1\r\n900=d2i8p48\r\n", 850, "900=D2I8P48",
       "800=P1I1D1\r\n850=P50I9D3\r\n900=D2I8P48\r\n"},
      {"I after D", "900=P1D2I3\r\n", 900, "900=P1D2I3", "900=P50I9D3\r\n"},
      {"invalid order passed over", "500=D2I8P48\r\n900=P20I2D2\r\n", 900, "20 2 2",
       "500=D2I8P48\r\n900=P50I9D3\r\n"},
      {"parameter beyond 16 bits", "900=P99999I1D1\r\n", 900, "900=P99999I1D1", "900=P50I9D3\r\n"},
      {"setpoint beyond 16 bits", "99999=P1I1D1\r\n", 900, "99999=P1I1D1",
       "900=P50I9D3\r\n99999=P1I1D1\r\n"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PidLookup lookup = LookupPidSet(c.file, static_cast<int16_t>(c.setpoint));
    const QString found =
        lookup.result == PidLookup::Result::Found
            ? QString("%1 %2 %3").arg(lookup.set.P).arg(lookup.set.I).arg(lookup.set.D)
        : lookup.result == PidLookup::Result::Invalid ? QString::fromLatin1(lookup.line)
                                                      : QString("none");
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(RewritePidText(c.file, static_cast<int16_t>(c.setpoint), {50, 9, 3}), c.rewritten);
  }
}

// The file on disk: created only when missing, the default set when there is
// nothing to find, the invalid line shown, a failed rewrite told.
TEST(PidFile, OnDisk) {
  PidHarness h;
  PidStore& pid = h.program().pidStore;
  h.setPar(std::nullopt);
  EXPECT_EQ(pid.ReadPIDSet(900).P, 48);  // missing: the default set
  pid.CreateDefaultFile();
  EXPECT_EQ(h.readPar(), QByteArray("900=P48I8D2\r\n"));
  h.setPar("1000=P1I2D3\r\n");
  pid.CreateDefaultFile();
  EXPECT_EQ(h.readPar(), QByteArray("1000=P1I2D3\r\n"));
  EXPECT_TRUE(h.platform.boxes.empty());

  h.setPar("800=P1I1D1\r\n900=d2i8p48\r\n");
  h.platform.answers = {MsgAnswer::Ok};
  bool fromFile = true;
  EXPECT_EQ(pid.ReadPIDSet(850, &fromFile).P, 48);
  EXPECT_FALSE(fromFile);
  EXPECT_TRUE(OnlyBox(h.platform, "'900=D2I8P48'\r\n" + QString(kInvalidLine), "", MsgButtons::Ok,
                      MsgIcon::None));

  const QByteArray old = "; mine\r\n900=P48I8D2\r\n";
  h.setPar(old);
  h.platform.boxes.clear();
  h.platform.failWrite = [](const QString&) { return FileError("Disk full"); };
  h.platform.answers = {MsgAnswer::Ok};
  const int beeps = h.platform.beeps;
  EXPECT_FALSE(pid.WritePIDSet(950, 1, 2, 3));
  EXPECT_EQ(h.readPar(), old);
  EXPECT_EQ(h.platform.beeps, beeps + 1);
  EXPECT_TRUE(OnlyBox(h.platform,
                      "Unable to write file '" + h.par() + "':\r\nDisk full\r\n\r\nThe file '" +
                          h.par() + "' was not changed.",
                      "", MsgButtons::Ok, MsgIcon::Exclamation));
  // The next attempt, with the fault gone, writes the new file whole.
  h.platform.failWrite = nullptr;
  EXPECT_TRUE(pid.WritePIDSet(950, 1, 2, 3));
  EXPECT_EQ(h.readPar(), QByteArray("; mine\r\n900=P48I8D2\r\n950=P1I2D3\r\n"));
  EXPECT_EQ(pid.ReadPIDSet(940, &fromFile).P, 1);
  EXPECT_TRUE(fromFile);

  // At start, a "pid.par" that cannot be read is told and never written.
  QFile::remove(h.par());
  ASSERT_TRUE(QDir(h.platform.dir()).mkdir("pid.par"));
  h.platform.boxes.clear();
  h.platform.answers = {MsgAnswer::Ok};
  pid.CreateDefaultFile();
  EXPECT_TRUE(OnlyBox(h.platform, "Unable to read file '" + h.par() + "':\r\nIs a directory", "",
                      MsgButtons::Ok, MsgIcon::Exclamation));
  EXPECT_TRUE(QFileInfo(h.par()).isDir());
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
