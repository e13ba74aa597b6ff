// Waiting until the actual temperature has settled at the setpoint.
#include <QPushButton>
#include <cmath>
#include <cstdlib>

#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx {

namespace {

constexpr int kWindow = 5;              // a sample counts within W ± 5
constexpr int kAverageTolerance = 1;    // average strictly within W ± 1
constexpr double kStdevTarget = 0.25;   // spread at most this
constexpr double kMinimumCounter = 10;  // counter must exceed this
constexpr double kInitialStdev = 100;

}  // namespace

void Operations::WaitForSteadyState(int16_t W) {
  const Busy busy(*this);
  frmOVX& form = form_;
  const QString& nl = CRLF;
  const double start = platform_.now();
  // On its own, the wait holds the controller itself; inside a run or a
  // self-optimizing, the operation that called it does.
  std::optional<LongClaim> claim;
  if (long_ == LongOperation::None) {
    long_ = LongOperation::SteadyStateWait;
    claim.emplace(long_);
  }

  form.setMenusEnabled(false);
  form.BtnCancel->setVisible(true);
  form.BtnOK->setVisible(true);

  double sum = 0;
  double n = 1;  // one more than the samples counted so far
  double average = 0;
  double sumsq = 0;
  double stdev = kInitialStdev;
  for (;;) {
    // The values of the previous pass decide; the initial ones never pass.
    if (average > W - kAverageTolerance && average < W + kAverageTolerance &&
        stdev <= kStdevTarget && n > kMinimumCounter) {
      OperationEvent steady(OperationEvent::Kind::SteadyReached);
      steady.average = average;
      steady.stdev = stdev;
      steady.samples = static_cast<int>(n) - 1;
      // The time it took to settle, to the nearest second.
      steady.seconds = RoundDigits(platform_.now() - start, 0);
      post(steady);
      break;
    }

    platform_.processEvents();
    form.setStatusLine(QStringLiteral("Waiting for steady state..."));
    commands_.GetValueBlock(true);
    const int16_t X = commands_.Values.ActualTemperature;

    // An X that did not decode is no sample.
    if (X != kNoValue && std::abs(X - W) <= kWindow) {
      sum += X;
      average = sum / n;
      if (static_cast<float>(n) >= 2.0f) {
        const double d = average - X;
        sumsq += d * d;
        stdev = std::sqrt(sumsq / ((n - 1) * n));
      }
      n += 1;
    }
    average = RoundDigits(average, 3);
    stdev = RoundDigits(stdev, 3);
    sumsq = RoundDigits(sumsq, 3);

    const double elapsed = std::floor(platform_.now() - start);
    form.setStatusText(
        QStringLiteral("Actual Temperature X:") + BlankSignedWord(X) +
        (X != kNoValue ? QStringLiteral("°C") : QString()) + nl +
        QStringLiteral("Setpoint           W:") + BlankSigned(W) + QStringLiteral("°C") + nl + nl +
        QStringLiteral("Window              : W ±") + Plain(kWindow) + nl +
        QStringLiteral("Average             :") + BlankSigned(average) + QStringLiteral("°C") + nl +
        QStringLiteral("Average-Target      : W ±") + Plain(kAverageTolerance) + nl +
        QStringLiteral("STDEV               :") + BlankSigned(stdev) + nl +
        QStringLiteral("STDEV-Target        : <") + BlankSigned(kStdevTarget) + nl + nl +
        QStringLiteral("Elapsed time        :") + BlankSigned(elapsed) + QStringLiteral(" sec"));

    if (form.CancelFlag || form.OKFlag) {
      // Stopped by the alarm, the run's log tells it at its end.
      if (!stoppedByAlarm_)
        post(OperationEvent(form.CancelFlag ? OperationEvent::Kind::OperatorCancel
                                            : OperationEvent::Kind::OperatorOK));
      break;
    }
  }

  form.setStatusText(QString());
  form.BtnCancel->setVisible(false);
  form.BtnOK->setVisible(false);
  form.setMenusEnabled(true);
  form.setStatusLine(QStringLiteral("Ready"));
}

}  // namespace ovx
