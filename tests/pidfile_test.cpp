// "pid.par": lookups and rewrites on its text, the file on disk with its
// failures, and the Load and Save commands, on the test platform with real
// files in a temporary folder.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "pidstore/pidstore.h"
#include "protocol/pidtext.h"
#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

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
// nothing to find, the invalid line shown, a failed rewrite
// told.
TEST(PidFile, OnDisk) {
  Harness h(kDirIni);  // "pid.par" in the test's folder
  ASSERT_TRUE(h.start());
  PidStore& pid = h.program().pidStore;
  h.setPar(std::nullopt);
  EXPECT_EQ(pid.ReadPIDSet(900).P, 48);  // missing: the default set
  pid.CreateDefaultFile();
  EXPECT_EQ(h.readPar(), QByteArray("900=P48I8D2\r\n"));
  h.setPar("1000=P1I2D3\r\n");
  pid.CreateDefaultFile();
  EXPECT_EQ(h.readPar(), QByteArray("1000=P1I2D3\r\n"));

  h.setPar("800=P1I1D1\r\n900=d2i8p48\r\n");
  h.platform.answers = {MsgAnswer::Ok};
  bool fromFile = true;
  EXPECT_EQ(pid.ReadPIDSet(850, &fromFile).P, 48);
  EXPECT_FALSE(fromFile);
  EXPECT_TRUE(OnlyBox(h.platform, "'900=D2I8P48'\r\nInvalid PID-Parameter line in file 'pid.par'!",
                      "", MsgButtons::Ok, MsgIcon::None));

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

// Load and Save ask first; Load changes only fields and memory, Save only the
// file; fields that are no 16-bit numbers are refused. Nothing is sent.
TEST(PidFile, LoadAndSaveAskFirstAndChangeOnlyTheirOwn) {
  const QByteArray par = "800=P30I5D1\r\n1000=P60I9D3\r\n";
  const QString load =
      "Do you want to replace the actual PID values\r\nfor Setpoint 900°C with the following "
      "values:\r\n\r\n     P: 60\r\n     I: 9\r\n     D: 3\r\n\r\n";
  const QString save =
      "Do you want to save\r\n\r\n     P: 55\r\n     I:-7\r\n     D: .5\r\n\r\nfor actual "
      "Setpoint 950°C?";
  auto refused = [](const char* field, const char* text, bool save) {
    return QString(
               "The field %1 holds '%2', which is not a number between -32768 and 32767.\r\n\r\n")
               .arg(field, text) +
           (save ? "Nothing was saved." : "No PID-Parameter were loaded.");
  };
  using enum MsgAnswer;
  struct Case {
    bool save;
    MsgAnswer answer;
    QString typed, box, fields;  // W P I D typed and shown after
    QByteArray file;             // "pid.par" after
  } cases[] = {
      {false, Ok, "900 1 2 3", load, "900 60 9 3", par},
      {false, Cancel, "900 1 2 3", load, "900 1 2 3", par},
      {true, Ok, "950 55 -7 0.5", save, "950 55 -7 0.5",
       "800=P30I5D1\r\n950=P55I-7D0\r\n1000=P60I9D3\r\n"},
      {true, Cancel, "950 55 -7 0.5", save, "950 55 -7 0.5", par},
      {true, Ok, "900 4x8 8 2", refused("P", "4x8", true), "900 4x8 8 2", par},
      {true, Ok, "40000 48 8 2", refused("W", "40000", true), "40000 48 8 2", par},
      {false, Ok, " 48 8 2", refused("W", "", false), " 48 8 2", par},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.typed + (c.save ? " save" : " load")).toStdString());
    Harness h(kDirIni);
    ASSERT_TRUE(h.start());
    h.setPar(par);
    const QStringList typed = c.typed.split(' ');
    for (int i = 0; i < 4; ++i)
      std::array{h.form().W, h.form().P, h.form().I, h.form().D}[i]->setText(typed[i]);
    h.form().setStatusLine("busy");
    DataBlockWords memory = h.commands().DataBlock;
    const size_t frames = h.frames().size();
    h.platform.answers = {c.answer};
    c.save ? h.form().ops().menuFileSavePID_Click() : h.form().ops().menuLoadPID_Click();

    const bool question = c.box == load || c.box == save;
    EXPECT_TRUE(OnlyBox(h.platform, c.box, c.save ? "Save PID-Parameter" : "Load PID-Parameter",
                        question ? MsgButtons::OkCancel : MsgButtons::Ok,
                        question ? MsgIcon::Question : MsgIcon::None));
    EXPECT_EQ(Fields(h.form()), c.fields);
    if (!c.save && question && c.answer == Ok)
      std::tie(memory[kSetpoint], memory[kPTerm], memory[kITerm], memory[kDTerm]) =
          std::tuple(900, 60, 9, 3);
    EXPECT_EQ(h.commands().DataBlock, memory);
    EXPECT_EQ(h.readPar(), c.file);
    EXPECT_EQ(h.frames().size(), frames);
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}
