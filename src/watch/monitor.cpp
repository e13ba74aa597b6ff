#include "watch/monitor.h"

#include <algorithm>

namespace ovx {

Monitor::Monitor(Platform& platform, Link& link, Commands& commands)
    : platform_(platform),
      link_(link),
      commands_(commands),
      timer_(platform.createTimer([this] { tick(); })) {}

int Monitor::interval() const {
  if (trend_ && watch_) return std::min(trendInterval_, watchInterval_);
  return watch_ ? watchInterval_ : trendInterval_;
}

void Monitor::setTrend(bool on) {
  const bool wasRunning = trend_ || watch_;
  trend_ = on;
  // Opened, the trend reads at once, as it always has.
  update(on && !watch_ && !wasRunning);
}

void Monitor::setTrendInterval(int seconds) {
  trendInterval_ = std::clamp(seconds, kMinInterval, kMaxInterval);
  update(false);
}

void Monitor::setWatch(bool on, int seconds) {
  const bool wasRunning = trend_ || watch_;
  watch_ = on;
  watchInterval_ = std::clamp(seconds, kMinInterval, kMaxInterval);
  update(on && !wasRunning);
}

void Monitor::update(bool readNow) {
  if (!trend_ && !watch_) {
    timer_->stop();
    return;
  }
  timer_->start(readNow ? 0 : interval());
}

void Monitor::readingTaken(const Reading&) {
  // For the watch the interval runs from the last reading, whoever took it:
  // the next is due one interval after it, its request the delays earlier.
  if (!watch_) return;
  const double delays = static_cast<double>(link_.settings().TxDelay + link_.settings().RxDelay);
  timer_->start(std::max(0.0, interval() - delays));
}

void Monitor::tick() {
  timer_->start(interval());
  // An exchange under way reads for itself; a read still pending (delays
  // longer than the interval) likewise.
  if (link_.busy()) return;
  // Run from inside an operation (its yield or a box): for the trend this
  // turn is left out, the operation reads for itself. The watch reads there
  // too, as nobody else did for a whole interval.
  if (platform_.insideHandler() && !watch_) return;
  commands_.beginValueBlockRead();
}

}  // namespace ovx
