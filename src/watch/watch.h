// The watch: one more listener of the readings. It judges each reading and
// write (Conditions), tells its verdicts as events of the operations'
// stream, so that the window, the trend and the run log learn of an alarm as
// they learn of a step, and asks the program to switch the heater off. It
// never writes to the controller itself. While an alarm waits to be
// acknowledged it beeps every 10 s (when Sound is on).
//
// The watch is no safety device: a furnace needs its own over-temperature
// cut-out, as a relay can fail closed.
#pragma once

#include <functional>
#include <memory>

#include "link/listener.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/events.h"
#include "watch/conditions.h"
#include "watch/monitor.h"
#include "watch/watch_settings.h"

namespace ovx {

class Watch : public LinkListener {
 public:
  static constexpr double kBeepInterval = 10;  // s

  Watch(Platform& platform, const Settings& settings, Recorder& recorder, Monitor& monitor);

  const WatchSettings& watchSettings() const { return watchSettings_; }
  // Takes effect at once: turned on, the watch starts afresh and monitoring
  // runs at its interval; turned off, it judges nothing more.
  void setWatchSettings(const WatchSettings& settings);

  // Switches the heater off, as the program's heater switch does; asked once
  // for each alarm whose action it is.
  std::function<void()> onHeaterOff;

  // Alarms raised and not yet acknowledged.
  int unacknowledged() const { return unacknowledged_; }
  // The operator has seen them: the beeps stop; a condition that still holds
  // 10 minutes later is raised again.
  void acknowledge();

  void readingTaken(const Reading& reading) override;
  void dataBlockSent(const DataBlockWords& words, bool fromMemory) override;

 private:
  void observe(const Observation& observation);
  void beep();

  Platform& platform_;
  const Settings& settings_;
  Recorder& recorder_;
  Monitor& monitor_;
  WatchSettings watchSettings_;
  Conditions conditions_;
  int unacknowledged_ = 0;
  std::unique_ptr<Timer> beeper_;
  // The data block as last read or written, watched or not: what a watch
  // turned on starts from.
  std::optional<Observation> block_;
};

}  // namespace ovx
