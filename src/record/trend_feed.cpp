#include "record/trend_feed.h"

#include "record/csv.h"
#include "record/run_log.h"

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

void TrendFeed::addLog(const QByteArray& log) {
  const QDateTime wall = platform_.wallClock();
  const double now = platform_.now();
  std::vector<TrendSample> samples;
  std::vector<TrendEvent> events;
  ReadRunLog(log, [&](const CsvRow& row) {
    TrendSample s;
    s.time = now - double(row.time.msecsTo(wall)) / 1000;
    s.wallMs = row.time.toMSecsSinceEpoch();
    s.utcOffsetQuarters = QuarterHours(row.time);
    if (const std::optional<OperationEvent> e = ReadEvent(row.event)) {
      events.push_back({s.time, s.wallMs, s.utcOffsetQuarters, e->kind, row.event});
      return;
    }
    if (row.event == FailedReadText(true) || row.event == FailedReadText(false)) {
      s.kind = row.event == FailedReadText(true) ? TrendSample::NoAnswer : TrendSample::Invalid;
    } else if (row.X) {
      s.kind = TrendSample::Value;
      s.x = static_cast<int16_t>(*row.X);
      s.opt = static_cast<int16_t>(row.optStatus.value_or(0));
    } else if (row.P) {
      s.kind = TrendSample::Data;
      s.p = static_cast<int16_t>(*row.P);
      s.i = static_cast<int16_t>(row.I.value_or(0));
      s.d = static_cast<int16_t>(row.D.value_or(0));
    } else {
      return;  // an event this program does not mark
    }
    if (row.W) s.w = static_cast<int16_t>(*row.W), s.wKnown = true;
    if (row.heater) s.heater = *row.heater == 1 ? 1 : 0;
    samples.push_back(s);
  });
  buffer_.addEarlier(samples, events);
  if (onChange) onChange();
}

}  // namespace ovx
