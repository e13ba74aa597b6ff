// Monitoring: the value block read every `interval` seconds when no
// operation reads, so that the trend's curve goes on and the watch sees the
// furnace. The read leaves the event loop running (Link::beginRead), and an
// operation that starts meanwhile begins right after it.
//
// For the trend's window alone, a read comes every interval between
// operations and never from inside one (a yield or a box of an operation).
// For the watch, a reading is due one interval after the last reading of
// any kind: between operations, in a dwell, in a box that waits for the
// operator; never while an exchange is under way.
#pragma once

#include <memory>

#include "link/commands.h"
#include "link/link.h"
#include "link/listener.h"
#include "platform/platform.h"

namespace ovx {

class Monitor : public LinkListener {
 public:
  static constexpr int kDefaultInterval = 5;
  static constexpr int kMinInterval = 1;
  static constexpr int kMaxInterval = 3600;

  Monitor(Platform& platform, Link& link, Commands& commands);

  // The trend window is shown (reads at once, then every interval) or not.
  void setTrend(bool on);
  // The trend's interval, within kMinInterval..kMaxInterval; the next read
  // comes one new interval from now.
  void setTrendInterval(int seconds);
  // The watch is on, with its interval, or off.
  void setWatch(bool on, int seconds);

  bool running() const { return timer_->active(); }
  // The shorter interval of those asked for.
  int interval() const;

  void readingTaken(const Reading& reading) override;

 private:
  void tick();
  // Starts, restarts or stops the timer after a change of the demands.
  void update(bool readNow);
  Platform& platform_;
  Link& link_;
  Commands& commands_;
  bool trend_ = false, watch_ = false;
  int trendInterval_ = kDefaultInterval, watchInterval_ = kDefaultInterval;
  std::unique_ptr<Timer> timer_;
};

}  // namespace ovx
