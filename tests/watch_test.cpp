// The watch on the virtual clock with a scripted controller.

#include <QFile>
#include <QSet>

#include "support/harness.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

namespace {

// "ovx.ini" with "Dir" in the test's folder and the lines of `watch`.
const char* Ini(const QByteArray& watch) {
  static QByteArray text;
  text = kDirIni + watch;
  return text.constData();
}

// A started program with "Dir" in the test's folder and the [Watch] lines of
// `watch`, whose scripted controller reports X(k, W) at the k-th value read,
// and nothing to the value requests in `silentReads`.
struct Furnace : Harness {
  explicit Furnace(const QByteArray& watch = {}, const DataBlockWords& words = Block(900, 48, 8, 2))
      : Harness(kScripted, words, Ini(watch)) {
    script([this](const QByteArray& frame) {
      const bool silent = frame == "R001NF?" && silentReads.contains(valueFrames++);
      return silent ? QByteArray() : controller.answer(frame);
    });
    controller.beforeValueRead = [this](int k) {
      const int W = controller.words[kSetpoint];
      controller.values.ActualTemperature = static_cast<int16_t>(X ? X(k, W) : W);
      controller.values.OutputStatus = controller.words[kHeaterOutput] == 1;
    };
  }
  std::function<int(int k, int W)> X;
  QSet<int> silentReads;  // value requests (from 0) that get no answer
  int valueFrames = 0;

  // A confirmed run from 900 to 960 °C by 30, dwell 5 s.
  void run() {
    program().OpenTemperatureRun();
    frmTRun& dlg = *program().temperatureRun();
    dlg.TStop->setText("960");
    dlg.TStep->setText("30");
    dlg.DwellTime->setText("5");
    platform.answers.push_back(MsgAnswer::Ok);
    dlg.BtnStart_Click();
  }
  // The frames written since `from`, one a line with its virtual time from then.
  QByteArray since(double from) const {
    QByteArray out;
    for (const auto& w : platform.port->written)
      if (w.time >= from) out += QByteArray::number(w.time - from, 'f', 3) + " " + w.data;
    return out;
  }
};

}  // namespace

// With the watch off (no [Watch] section, or Enabled=0) a whole run, with
// readings outside the window, a read that gets no answer and OK in a dwell,
// puts every frame on the line at the time it did before the watch existed.
TEST(Watch, OffTalksToTheControllerExactlyAsBefore) {
  QFile golden(OVX_TEST_DATA "/watch_off_run_frames.txt");
  ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
  const QByteArray expected = golden.readAll().replace("\n", "\r\n");
  for (const char* watch : {"", "[Watch]\r\nEnabled=0\r\n"}) {
    Furnace h(watch);
    h.silentReads = {14};
    h.X = [&](int k, int W) {
      if (k == 5) h.platform.at(h.platform.t + 2, [&] { h.form().BtnOK_Click(); });
      return k < 3 ? W - 20 : W + k % 2;
    };
    const double t0 = h.platform.t;
    h.run();
    h.platform.idle(60);
    EXPECT_EQ(h.since(t0), expected);
  }
}
