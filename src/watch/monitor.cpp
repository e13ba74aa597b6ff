#include "trend/monitor.h"

#include <algorithm>

namespace ovx {

Monitor::Monitor(Platform& platform, Link& link, Commands& commands)
    : platform_(platform),
      link_(link),
      commands_(commands),
      timer_(platform.createTimer([this] { tick(); })) {}

void Monitor::start() {
  timer_->start(0);
}

void Monitor::stop() {
  timer_->stop();
}

void Monitor::setInterval(int seconds) {
  interval_ = std::clamp(seconds, kMinInterval, kMaxInterval);
  if (timer_->active()) timer_->start(interval_);
}

void Monitor::tick() {
  timer_->start(interval_);
  // Run from inside an operation (its yield or a box): this turn is left
  // out, the operation reads for itself. A read still pending (delays longer
  // than the interval) likewise.
  if (platform_.insideHandler() || link_.readPending()) return;
  commands_.beginValueBlockRead();
}

}  // namespace ovx
