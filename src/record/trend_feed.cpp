#include "record/trend_feed.h"

namespace ovx {

namespace {

int8_t QuarterHours(const QDateTime& time) {
  return static_cast<int8_t>(time.offsetFromUtc() / (15 * 60));
}

}  // namespace

TrendSample TrendFeed::sample(double time, TrendSample::Kind kind) {
  const QDateTime wall = platform_.wallClock();
  TrendSample s;
  s.time = time;
  s.wallMs = wall.toMSecsSinceEpoch();
  s.utcOffsetQuarters = QuarterHours(wall);
  s.kind = kind;
  return s;
}

void TrendFeed::add(const TrendSample& sample) {
  buffer_.add(sample);
  if (onChange) onChange();
}

void TrendFeed::readingTaken(const Reading& reading) {
  if (reading.outcome != Outcome::Answered) {
    add(sample(reading.time, reading.outcome == Outcome::NoAnswer ? TrendSample::NoAnswer
                                                                  : TrendSample::Invalid));
    return;
  }
  if (reading.block == BlockKind::Value) {
    // An X that did not decode is no point of the curve.
    if (reading.values.ActualTemperature == kNoValue) return;
    TrendSample s = sample(reading.time, TrendSample::Value);
    s.x = reading.values.ActualTemperature;
    s.opt = reading.values.OptimizationStatus;
    s.heater = reading.values.OutputStatus == 1 ? 1 : 0;
    add(s);
    return;
  }
  add(dataSample(reading.time, TrendSample::Data, reading.words));
}

void TrendFeed::dataBlockSent(const DataBlockWords& words, bool) {
  // The default parameter set is what the controller then holds, too.
  add(dataSample(platform_.now(), TrendSample::Written, words));
}

TrendSample TrendFeed::dataSample(double time, TrendSample::Kind kind,
                                  const DataBlockWords& words) {
  TrendSample s = sample(time, kind);
  // A W that did not decode: the one before goes on.
  s.w = words[kSetpoint];
  s.wKnown = s.w != kNoValue;
  s.heater = words[kHeaterOutput] == 1 ? 1 : 0;
  s.p = words[kPTerm];
  s.i = words[kITerm];
  s.d = words[kDTerm];
  return s;
}

void TrendFeed::eventPosted(const OperationEvent& event) {
  const QDateTime wall = platform_.wallClock();
  buffer_.addEvent(
      {event.time, wall.toMSecsSinceEpoch(), QuarterHours(wall), event.kind, Describe(event)});
  if (onChange) onChange();
}

}  // namespace ovx
