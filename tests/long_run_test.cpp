// A temperature run of hours on the virtual clock against the controller
// model, which runs eight times as fast as the program's clock. The program's
// memory does not grow over a hundred thousand passes, every dwell lasts its
// time, and every step reaches the controller once and settles there.
#include <unistd.h>

#include <QCoreApplication>
#include <fstream>

#include "support/harness.h"
#include "trun/frmtrun.h"

namespace ovx::test {
namespace {

// Resident memory of this process in bytes.
long Resident() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

constexpr int kFirst = 900, kLast = 1000, kStep = 50, kDwell = 1000, kSteps = 3;

TEST(LongRun, MemoryCountdownsAndStepsStayRight) {
  Harness h(kDirIni, {.start = kFirst});
  h.model.dataBlock()[kSetpoint] = kFirst;
  h.speed = 8;
  ASSERT_TRUE(h.start());
  h.program().OpenTemperatureRun();
  frmTRun& dialog = *h.program().temperatureRun();
  dialog.TStart->setText(QString::number(kFirst));
  dialog.TStop->setText(QString::number(kLast));
  dialog.TStep->setText(QString::number(kStep));
  dialog.DwellTime->setText(QString::number(kDwell));
  h.platform.answers = {MsgAnswer::Ok};
  TestPlatform& platform = h.platform;

  // Every ten minutes the port's record of the writes is counted and dropped,
  // and Qt's posted events (repaints, shows, hides) are delivered, as the real
  // platform's yield does: both would grow with the run on the test platform.
  int writes = 0;
  long warm = 0;  // memory after the first ten minutes
  std::function<void()> tick = [&] {
    for (const auto& w : h.port().written) writes += w.data.startsWith('S');
    h.port().written.clear();
    QCoreApplication::processEvents();
    if (!warm && platform.yields > 10'000) warm = Resident();
    platform.at(platform.t + 600, tick);
  };
  platform.soon(tick);

  // Each dwell lasts its length on the one clock, however long the run
  // (the countdown's texts second by second: the run's table).
  int dwells = 0;
  double start = -1;
  QObject::connect(h.form().StatusLine, &QLineEdit::textChanged, [&](const QString& text) {
    if (text.startsWith("Dwell time:") && start < 0) start = platform.t;
    if (text != "Ready" || start < 0) return;
    EXPECT_NEAR(platform.t - start, kDwell, 0.021);
    ++dwells, start = -1;
  });
  dialog.BtnStart_Click();
  tick();
  [[maybe_unused]] const long grown = Resident() - warm;
  EXPECT_EQ(dwells, kSteps);
  EXPECT_EQ(writes, kSteps + 1);  // the heater switch, then one write per step
  EXPECT_NEAR(h.model.temperature(), kLast, 2);
  EXPECT_TRUE(h.form().statusText().isEmpty());
  // A leak of one small allocation every ten passes would show. The
  // sanitized build's leak check covers that build instead.
#ifndef OVX_SANITIZED
  ASSERT_GT(warm, 0);
  EXPECT_LT(grown, 350'000);
#endif
}

}  // namespace
}  // namespace ovx::test
