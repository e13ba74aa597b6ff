#include "watch/watch.h"

#include "link/tools.h"

namespace ovx {

Watch::Watch(Platform& platform, const Settings& settings, Recorder& recorder, Monitor& monitor)
    : platform_(platform),
      settings_(settings),
      recorder_(recorder),
      monitor_(monitor),
      conditions_(watchSettings_, platform.now()),
      beeper_(platform.createTimer([this] { beep(); })) {}

void Watch::setWatchSettings(const WatchSettings& settings) {
  const bool starts = settings.Enabled && !watchSettings_.Enabled;
  watchSettings_ = settings;
  if (starts) {
    conditions_ = Conditions(settings, platform_.now());
    if (block_) {
      Observation known = *block_;
      known.time = platform_.now();
      known.kind = Observation::Written;
      conditions_.observe(known);
    }
  } else {
    conditions_.setSettings(settings);
  }
  monitor_.setWatch(settings.Enabled, settings.Interval);
}

void Watch::acknowledge() {
  if (unacknowledged_ == 0) return;
  unacknowledged_ = 0;
  beeper_->stop();
  OperationEvent seen(OperationEvent::Kind::AlarmAcknowledged);
  seen.time = platform_.now();
  conditions_.acknowledge(seen.time);
  recorder_.post(seen);
}

void Watch::readingTaken(const Reading& r) {
  Observation o{r.time, Observation::Failed};
  if (r.outcome == Outcome::Answered && r.block == BlockKind::Value) {
    o.kind = Observation::Value;
    o.x = r.values.ActualTemperature;
  } else if (r.outcome == Outcome::Answered) {
    o.kind = Observation::Data;
    o.w = r.words[kSetpoint];
    o.heater = r.words[kHeaterOutput];
    o.highLimit = r.words[kSetpointHigh];
  }
  observe(o);
}

void Watch::dataBlockSent(const DataBlockWords& words, bool) {
  observe({platform_.now(), Observation::Written, 0, words[kSetpoint], words[kHeaterOutput],
           words[kSetpointHigh]});
}

void Watch::observe(const Observation& observation) {
  if (observation.kind == Observation::Data || observation.kind == Observation::Written)
    block_ = observation;
  if (!watchSettings_.Enabled) return;
  for (const OperationEvent& event : conditions_.observe(observation)) {
    recorder_.post(event);
    if (event.kind != OperationEvent::Kind::AlarmRaised) continue;
    ++unacknowledged_;
    if (!beeper_->active()) beep();
    if (event.heaterOff && onHeaterOff) onHeaterOff();
  }
}

void Watch::beep() {
  if (unacknowledged_ == 0) return;
  BeepIfSound(platform_, settings_);
  beeper_->start(kBeepInterval);
}

}  // namespace ovx
