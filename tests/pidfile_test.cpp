// "pid.par": lookups, rewrites, their failures, and the Load and Save
// commands, on the test platform with real files in a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <optional>

#include "pidstore/pidfile.h"
#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

namespace {

constexpr const char* kInvalidLine = "Invalid PID-Parameter line in file 'pid.par'!";

// A started program whose "Dir" setting is the test's temporary folder.
struct PidHarness : Harness {
  PidHarness() : Harness(nullptr) {
    platform.writeIni("[General]\r\nSound=-1\r\nDir=" + platform.dir().toLocal8Bit() +
                      "\r\n[COM]\r\nRxDelay=0\r\nTxDelay=0.2\r\n");
    EXPECT_TRUE(start());
    EXPECT_EQ(g().Dir, platform.dir() + "/");
  }
  QString par() const { return QDir(platform.dir()).filePath("pid.par"); }
  QString tmp() const { return QDir(platform.dir()).filePath("pid.tmp"); }
  // Writes "pid.par", or removes it for nullopt.
  void setPar(const std::optional<QByteArray>& content) {
    QFile::remove(par());
    QFile file(par());
    if (!content) return;
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(*content) >= 0);
  }
  std::optional<QByteArray> readPar() const {
    QFile file(par());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
  }
};

void ExpectBox(const RecordedBox& box, const QString& text, const QString& title,
               MsgButtons buttons, MsgIcon icon) {
  EXPECT_EQ(box.request.text, text);
  EXPECT_EQ(box.request.title, title);
  EXPECT_EQ(box.request.buttons, buttons);
  EXPECT_EQ(box.request.icon, icon);
}

}  // namespace

TEST(PidFile, CreatedWithTheDefaultLineOnlyWhenMissing) {
  PidHarness h;
  PidFile pid(h.program());
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
      {"below the only line", "900=P40I7D1\r\n", 850, {40, 7, 1}, nullptr},
      {"exact", "900=P40I7D1\r\n", 900, {40, 7, 1}, nullptr},
      {"above every line", "900=P40I7D1\r\n", 950, {48, 8, 2}, nullptr},
      {"next higher", "800=P30I5D1\r\n1000=P60I9D3\r\n", 801, {60, 9, 3}, nullptr},
      {"lower exact", "800=P30I5D1\r\n1000=P60I9D3\r\n", 800, {30, 5, 1}, nullptr},
      {"unsorted: first in file order",
       "1000=P10I1D1\r\n900=P20I2D2\r\n",
       900,
       {10, 1, 1},
       nullptr},
      {"lower case", "900=p41i7d3\r\n", 900, {41, 7, 3}, nullptr},
      {"negative numbers", "-10=P-5I-6D-7\r\n", -20, {-5, -6, -7}, nullptr},
      {"remark lines",
       "; PID set = tuned\r\n\r\nremark\r\n900=P20I2D2\r\n",
       900,
       {20, 2, 2},
       nullptr},
      {"LF line ends", "800=P30I5D1\n1000=P60I9D3", 900, {60, 9, 3}, nullptr},
      {"halves to even", "900.5=P20.5I3.5D2\r\n", 900, {20, 4, 2}, nullptr},
      {"empty file", "", 900, {48, 8, 2}, nullptr},
      {"missing file", std::nullopt, 900, {48, 8, 2}, nullptr},
      {"invalid order selected", "900=D2I8P48\r\n", 900, {48, 8, 2}, "900=D2I8P48"},
      {"invalid order shown upper case",
       "800=P1I1D1\r\n900=d2i8p48\r\n",
       850,
       {48, 8, 2},
       "900=D2I8P48"},
      {"invalid order skipped", "500=D2I8P48\r\n900=P20I2D2\r\n", 900, {20, 2, 2}, nullptr},
      {"parameter beyond 16 bits", "900=P99999I1D1\r\n", 900, {48, 8, 2}, "900=P99999I1D1"},
      {"setpoint beyond 16 bits", "99999=P1I1D1\r\n", 900, {48, 8, 2}, "99999=P1I1D1"},
      {"huge negative setpoint skipped",
       "-99999=P1I1D1\r\n900=P20I2D2\r\n",
       900,
       {20, 2, 2},
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidHarness h;
    h.setPar(c.file);
    if (c.invalidLine) h.platform.answers = {MsgAnswer::Ok};
    const PidSet set = PidFile(h.program()).ReadPIDSet(static_cast<int16_t>(c.setpoint));
    EXPECT_EQ(set.P, c.expected.P);
    EXPECT_EQ(set.I, c.expected.I);
    EXPECT_EQ(set.D, c.expected.D);
    EXPECT_EQ(h.readPar(), c.file);  // a lookup never changes the file
    ASSERT_EQ(h.platform.boxes.size(), c.invalidLine ? 1u : 0u);
    if (c.invalidLine)
      ExpectBox(h.platform.boxes[0], "'" + QString(c.invalidLine) + "'\r\n" + kInvalidLine, "",
                MsgButtons::Ok, MsgIcon::None);
  }
}

TEST(PidFile, RewriteKeepsEveryOtherLineInItsPlace) {
  struct Case {
    const char* name;
    std::optional<QByteArray> before;
    int setpoint;
    QByteArray after;
  } cases[] = {
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
      {"negative setpoint", "900=P48I8D2\r\n", -5, "-5=P50I9D3\r\n900=P48I8D2\r\n"},
      {"invalid and oversized lines copied", "500=d2i8p48\r\n99999=P1I1D1\r\n", 900,
       "500=D2I8P48\r\n900=P50I9D3\r\n99999=P1I1D1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidHarness h;
    h.setPar(c.before);
    EXPECT_TRUE(PidFile(h.program()).WritePIDSet(static_cast<int16_t>(c.setpoint), 50, 9, 3));
    EXPECT_EQ(h.readPar(), c.after);
    EXPECT_FALSE(QFile::exists(h.tmp()));
    EXPECT_TRUE(h.platform.boxes.empty());
  }
}

TEST(PidFile, FailedRewriteLeavesTheOldFileAndSaysWhy) {
  const QByteArray old = "; mine\r\n900=P48I8D2\r\n";
  struct Case {
    const char* name;
    bool failWrite;
    bool failRename;
  } cases[] = {{"pid.tmp not written", true, false}, {"pid.tmp not renamed", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidHarness h;
    h.setPar(old);
    if (c.failWrite) h.platform.failWrite = [](const QString&) { return FileError("Disk full"); };
    if (c.failRename)
      h.platform.failRename = [](const QString&, const QString&) { return FileError("I/O error"); };
    h.platform.answers = {MsgAnswer::Ok};
    const int beeps = h.platform.beeps;
    EXPECT_FALSE(PidFile(h.program()).WritePIDSet(950, 1, 2, 3));
    EXPECT_EQ(h.readPar(), old);
    EXPECT_EQ(h.platform.beeps, beeps + 1);
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    const QString unchanged = "\r\n\r\nThe file '" + h.par() + "' was not changed.";
    ExpectBox(h.platform.boxes[0],
              c.failWrite ? "Unable to write file '" + h.tmp() + "':\r\nDisk full" + unchanged
                          : "Unable to replace file '" + h.par() + "' by '" + h.tmp() +
                                "':\r\nI/O error" + unchanged,
              "", MsgButtons::Ok, MsgIcon::Exclamation);

    // The next attempt, with the fault gone, writes the new file whole.
    h.platform.failWrite = nullptr;
    h.platform.failRename = nullptr;
    EXPECT_TRUE(PidFile(h.program()).WritePIDSet(950, 1, 2, 3));
    EXPECT_EQ(h.readPar(), QByteArray("; mine\r\n900=P48I8D2\r\n950=P1I2D3\r\n"));
  }
}

TEST(PidFile, RewriteNeverReplacesAFolderOfThatName) {
  PidHarness h;
  h.setPar(std::nullopt);
  ASSERT_TRUE(QDir(h.platform.dir()).mkdir("pid.par"));
  h.platform.answers = {MsgAnswer::Ok};
  EXPECT_FALSE(PidFile(h.program()).WritePIDSet(900, 1, 2, 3));
  EXPECT_TRUE(QFileInfo(h.par()).isDir());
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_TRUE(h.platform.boxes[0].request.text.startsWith("Unable to replace file '" + h.par()));
  // A lookup in a folder finds nothing and gives the default set.
  EXPECT_EQ(PidFile(h.program()).ReadPIDSet(900).P, 48);
}

TEST(PidFile, LoadAsksAndChangesOnlyFieldsAndMemory) {
  for (MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::Cancel}) {
    SCOPED_TRACE(answer == MsgAnswer::Ok ? "OK" : "Cancel");
    PidHarness h;
    h.setPar("800=P30I5D1\r\n1000=P60I9D3\r\n");
    h.form().W->setText("900");
    h.form().P->setText("1");
    h.form().I->setText("2");
    h.form().D->setText("3");
    h.form().setStatusLine("busy");
    const DataBlockWords before = h.g().DataBlock;
    const size_t frames = h.frames().size();
    h.platform.answers = {answer};
    PidFile(h.program()).menuLoadPID_Click();

    ASSERT_EQ(h.platform.boxes.size(), 1u);
    ExpectBox(h.platform.boxes[0],
              "Do you want to replace the actual PID values\r\n"
              "for Setpoint 900°C with the following values:\r\n\r\n"
              "     P: 60\r\n     I: 9\r\n     D: 3\r\n\r\n",
              "Load PID-Parameter", MsgButtons::OkCancel, MsgIcon::Question);
    const bool ok = answer == MsgAnswer::Ok;
    EXPECT_EQ(h.form().P->text(), ok ? "60" : "1");
    EXPECT_EQ(h.form().I->text(), ok ? "9" : "2");
    EXPECT_EQ(h.form().D->text(), ok ? "3" : "3");
    DataBlockWords expected = before;
    if (ok) {
      expected[kSetpoint] = 900;
      expected[kPTerm] = 60;
      expected[kITerm] = 9;
      expected[kDTerm] = 3;
    }
    EXPECT_EQ(h.g().DataBlock, expected);
    EXPECT_EQ(h.frames().size(), frames);  // nothing sent
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}

TEST(PidFile, SaveAsksAndStoresTheWindowsSet) {
  for (MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::Cancel}) {
    SCOPED_TRACE(answer == MsgAnswer::Ok ? "OK" : "Cancel");
    PidHarness h;
    h.setPar("800=P30I5D1\r\n1000=P60I9D3\r\n");
    h.form().W->setText("950");
    h.form().P->setText("55");
    h.form().I->setText("-7");
    h.form().D->setText("0.5");
    h.platform.answers = {answer};
    PidFile(h.program()).menuFileSavePID_Click();

    ASSERT_EQ(h.platform.boxes.size(), 1u);
    ExpectBox(h.platform.boxes[0],
              "Do you want to save\r\n\r\n     P: 55\r\n     I:-7\r\n     D: .5\r\n\r\n"
              "for actual Setpoint 950°C?",
              "Save PID-Parameter", MsgButtons::OkCancel, MsgIcon::Question);
    EXPECT_EQ(h.readPar(), answer == MsgAnswer::Ok
                               ? QByteArray("800=P30I5D1\r\n950=P55I-7D0\r\n1000=P60I9D3\r\n")
                               : QByteArray("800=P30I5D1\r\n1000=P60I9D3\r\n"));
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}

TEST(PidFile, FieldsThatAreNoNumbersAreRefused) {
  struct Case {
    const char* name;
    bool save;
    QString w, p;
    QString text;
  } cases[] = {
      {"save, P not a number", true, "900", "4x8",
       "The field P holds '4x8', which is not a number between -32768 and 32767.\r\n\r\n"
       "Nothing was saved."},
      {"save, W beyond 16 bits", true, "40000", "48",
       "The field W holds '40000', which is not a number between -32768 and 32767.\r\n\r\n"
       "Nothing was saved."},
      {"load, W empty", false, "", "48",
       "The field W holds '', which is not a number between -32768 and 32767.\r\n\r\n"
       "No PID-Parameter were loaded."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PidHarness h;
    h.setPar("900=P48I8D2\r\n");
    h.form().W->setText(c.w);
    h.form().P->setText(c.p);
    h.form().I->setText("8");
    h.form().D->setText("2");
    const DataBlockWords before = h.g().DataBlock;
    h.platform.answers = {MsgAnswer::Ok};
    PidFile pid(h.program());
    c.save ? pid.menuFileSavePID_Click() : pid.menuLoadPID_Click();
    ASSERT_EQ(h.platform.boxes.size(), 1u);
    ExpectBox(h.platform.boxes[0], c.text, c.save ? "Save PID-Parameter" : "Load PID-Parameter",
              MsgButtons::Ok, MsgIcon::None);
    EXPECT_EQ(h.readPar(), QByteArray("900=P48I8D2\r\n"));
    EXPECT_EQ(h.g().DataBlock, before);
    EXPECT_EQ(h.form().P->text(), c.p);
    EXPECT_EQ(h.form().statusLine(), "Ready");
  }
}
