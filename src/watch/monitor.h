// Monitoring between operations: while the trend window is open, the value
// block is read every `interval` seconds, so that the curve goes on when no
// operation reads. The read leaves the event loop running (Link::beginRead)
// and an operation that starts meanwhile begins right after it.
#pragma once

#include <memory>

#include "link/commands.h"
#include "link/link.h"
#include "platform/platform.h"

namespace ovx {

class Monitor {
 public:
  static constexpr int kDefaultInterval = 5;
  static constexpr int kMinInterval = 1;
  static constexpr int kMaxInterval = 3600;

  Monitor(Platform& platform, Link& link, Commands& commands);

  // Reads at once, then every interval, until stop().
  void start();
  void stop();
  bool running() const { return timer_->active(); }
  int interval() const { return interval_; }
  // Seconds, within kMinInterval..kMaxInterval; the next read comes one new
  // interval from now.
  void setInterval(int seconds);

 private:
  void tick();
  Platform& platform_;
  Link& link_;
  Commands& commands_;
  int interval_ = kDefaultInterval;
  std::unique_ptr<Timer> timer_;
};

}  // namespace ovx
