#include "record/trend_buffer.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

#include "record/csv.h"

namespace ovx {

namespace {

// How far the X line looks beyond the span for the reading it goes on to;
// data-block samples lie between value readings.
constexpr size_t kLookAround = 64;

QDateTime WallTime(int64_t ms, int8_t quarters) {
  return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone(quarters * 15 * 60));
}

}  // namespace

QString TrendSample::failureText() const {
  return failed() ? FailedReadText(kind == NoAnswer) : QString();
}

QDateTime TrendSample::wallTime() const {
  return WallTime(wallMs, utcOffsetQuarters);
}

QDateTime TrendEvent::wallTime() const {
  return WallTime(wallMs, utcOffsetQuarters);
}

void TrendRange::add(int16_t v) {
  if (!any) {
    any = true;
    min = max = first = v;
  }
  min = std::min(min, v);
  max = std::max(max, v);
  last = v;
}

void TrendBuffer::add(TrendSample sample) {
  if (!samples_.empty()) {
    const TrendSample& before = samples_.back();
    if (!sample.wKnown && before.wKnown) {
      sample.w = before.w;
      sample.wKnown = true;
    }
    if (sample.heater < 0) sample.heater = before.heater;
  }
  const int16_t value = sample.kind == TrendSample::Value ? sample.x : sample.w;
  sample.lo = sample.hi = value;

  // One sample for the readings of a kind that follow each other within a
  // second: five readings a second keep a day as well as one does.
  if (!samples_.empty()) {
    TrendSample& last = samples_.back();
    if (last.kind == sample.kind && std::floor(last.time) == std::floor(sample.time)) {
      sample.lo = std::min(last.lo, value);
      sample.hi = std::max(last.hi, value);
      last = sample;
      return;
    }
  }

  samples_.push_back(sample);
  const double oldest = sample.time - span_;
  if (samples_.front().time >= oldest) return;
  while (samples_.front().time < oldest) samples_.pop_front();
  while (!events_.empty() && events_.front().time < samples_.front().time) events_.pop_front();
}

void TrendBuffer::addEvent(TrendEvent event) {
  events_.push_back(std::move(event));
  if (events_.size() > kEventCapacity) events_.pop_front();
}

void TrendBuffer::addEarlier(const std::vector<TrendSample>& samples,
                             const std::vector<TrendEvent>& events) {
  const double first =
      samples_.empty() ? samples.empty() ? 0 : samples.back().time + 1 : samples_.front().time;
  // Carried on and merged by the second as they come, in a store of their own.
  TrendBuffer earlier(span_);
  for (const TrendSample& sample : samples)
    if (sample.time < first) earlier.add(sample);
  // What lies within the span of the newest sample held.
  const double oldest = (samples_.empty() ? first : samples_.back().time) - span_;
  std::deque<TrendSample> kept;
  for (const TrendSample& sample : earlier.samples_)
    if (sample.time >= oldest) kept.push_back(sample);
  if (kept.empty()) return;
  samples_.insert(samples_.begin(), kept.begin(), kept.end());
  std::vector<TrendEvent> keptEvents;
  for (const TrendEvent& event : events)
    if (event.time >= samples_.front().time && event.time < first) keptEvents.push_back(event);
  events_.insert(events_.begin(), keptEvents.begin(), keptEvents.end());
  while (events_.size() > kEventCapacity) events_.pop_front();
}

size_t TrendBuffer::lowerBound(double time) const {
  const auto it = std::lower_bound(samples_.begin(), samples_.end(), time,
                                   [](const TrendSample& s, double t) { return s.time < t; });
  return static_cast<size_t>(it - samples_.begin());
}

TrendView TrendBuffer::decimate(double from, double to, int columns, double maxGap) const {
  TrendView view;
  if (columns <= 0 || !(to > from)) return view;
  view.columns.resize(static_cast<size_t>(columns));
  const double perColumn = (to - from) / columns;
  const size_t begin = lowerBound(from);
  const size_t end = lowerBound(to);

  // Where the span starts: the setpoint and heater carried in, and the last
  // X reading unless a failed read came after it.
  double lastX = -1e300;
  bool broken = true;  // a failed read since the last X reading
  if (begin > 0) {
    const TrendSample& before = samples_[begin - 1];
    if (before.wKnown) view.wBefore = before.w;
    view.heaterBefore = before.heater;
    for (size_t i = begin; i-- > 0 && begin - i <= kLookAround;) {
      if (samples_[i].failed()) break;
      if (samples_[i].kind == TrendSample::Value) {
        view.xBefore = TrendView::Point{samples_[i].time, samples_[i].x};
        lastX = samples_[i].time;
        broken = false;
        break;
      }
    }
  }

  std::optional<int16_t> w = view.wBefore;
  int8_t heater = view.heaterBefore;
  for (size_t i = begin; i < end; ++i) {
    const TrendSample& s = samples_[i];
    const auto c = std::min(columns - 1, static_cast<int>((s.time - from) / perColumn));
    TrendColumn& column = view.columns[static_cast<size_t>(c)];
    if (!column.sampled) {
      // The setpoint and heater state that the column starts with.
      if (w && s.wKnown) column.w.add(*w);
      column.heaterOn = heater == 1;
    }
    column.sampled = true;
    const bool block = s.kind == TrendSample::Data || s.kind == TrendSample::Written;
    if (block) column.w.add(s.lo), column.w.add(s.hi);
    if (s.wKnown) column.w.add(s.w);
    w = s.wKnown ? std::optional<int16_t>(s.w) : w;
    heater = s.heater;
    column.heaterOn = column.heaterOn || heater == 1;
    column.heaterLast = heater;
    if (s.failed()) broken = true;
    if (s.kind != TrendSample::Value) continue;
    if (!column.x.any) column.xBreak = broken || s.time - lastX > maxGap;
    column.x.add(s.lo);
    column.x.add(s.hi);
    column.x.add(s.x);
    lastX = s.time;
    broken = false;
  }

  for (size_t i = end; i < samples_.size() && i - end < kLookAround; ++i) {
    if (samples_[i].failed()) break;
    if (samples_[i].kind != TrendSample::Value) continue;
    if (!broken && samples_[i].time - lastX <= maxGap)
      view.xAfter = TrendView::Point{samples_[i].time, samples_[i].x};
    break;
  }
  return view;
}

QByteArray TrendBuffer::csv() const {
  QByteArray out = CsvHeader();
  if (samples_.empty() && events_.empty()) return out;
  const double start = std::min(samples_.empty() ? 1e300 : samples_.front().time,
                                events_.empty() ? 1e300 : events_.front().time);
  auto sampleRow = [start](const TrendSample& s) {
    CsvRow row;
    row.time = s.wallTime();
    row.elapsed = s.time - start;
    switch (s.kind) {
      case TrendSample::Value:
        row.X = s.x;
        row.heater = s.heater;
        row.optStatus = s.opt;
        break;
      case TrendSample::Data:
      case TrendSample::Written:
        row.W = s.w;
        row.heater = s.heater;
        row.P = s.p;
        row.I = s.i;
        row.D = s.d;
        break;
      case TrendSample::NoAnswer:
      case TrendSample::Invalid:
        row.event = s.failureText();
        break;
    }
    return CsvLine(row);
  };
  auto eventRow = [start](const TrendEvent& e) {
    CsvRow row;
    row.time = e.wallTime();
    row.elapsed = e.time - start;
    row.event = e.text;
    return CsvLine(row);
  };
  // An event comes after the samples of its own moment: it tells what
  // followed from them.
  auto event = events_.begin();
  for (const TrendSample& s : samples_) {
    for (; event != events_.end() && event->time < s.time; ++event) out += eventRow(*event);
    out += sampleRow(s);
  }
  for (; event != events_.end(); ++event) out += eventRow(*event);
  return out;
}

}  // namespace ovx
