// What the trend holds: the readings of the controller's blocks, the data
// blocks written, and the events of the operations, for the last day whatever
// the read rate: readings of one kind that follow each other within a second
// make one sample, which keeps the second's lowest and highest X (or W). It
// draws as one min/max pair per pixel column, so that a day costs the same as
// a minute, and it saves as CSV in the columns of the run log.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "record/events.h"

namespace ovx {

// One reading or write, or those of one kind that followed each other within
// one second. W and the heater carry on from earlier samples, so that every
// sample knows the setpoint last read or written.
struct TrendSample {
  enum Kind : uint8_t {
    Value,     // value block read: x, heater (its output status), opt
    Data,      // data block read: w, heater (word 37), p, i, d
    Written,   // data block written: the same words
    NoAnswer,  // a read that got nothing
    Invalid,   // a read that got something else than the block
  };
  double time = 0;     // program clock, seconds (of the last reading)
  int64_t wallMs = 0;  // wall clock, milliseconds since the epoch
  int16_t x = 0, w = 0, opt = 0, p = 0, i = 0, d = 0;  // of the last reading
  // The least and greatest X (a value block read) or W (a data block read or
  // written) of the readings taken into the sample; set by TrendBuffer::add.
  int16_t lo = 0, hi = 0;
  int8_t heater = -1;  // 1 on, 0 off, -1 not known yet
  Kind kind = Value;
  bool wKnown = false;           // w holds a setpoint read or written
  int8_t utcOffsetQuarters = 0;  // of the wall clock, in quarter hours

  bool failed() const { return kind == NoAnswer || kind == Invalid; }
  // "no answer" or "invalid response" for a failed read, else empty.
  QString failureText() const;
  QDateTime wallTime() const;
};

struct TrendEvent {
  double time = 0;
  int64_t wallMs = 0;
  int8_t utcOffsetQuarters = 0;
  OperationEvent::Kind kind = OperationEvent::Kind::RunStarted;
  QString text;  // Describe(event)
  QDateTime wallTime() const;
};

// The values of one series within one pixel column.
struct TrendRange {
  bool any = false;
  int16_t min = 0, max = 0, first = 0, last = 0;
  void add(int16_t v);
};

struct TrendColumn {
  bool sampled = false;    // some sample falls into the column
  TrendRange x, w;         // w includes the setpoint it starts with
  bool xBreak = false;     // the X line does not join this column to the one before
  bool heaterOn = false;   // on at some time in the column
  int8_t heaterLast = -1;  // as the column ends
};

// The samples of a span of time, decimated to pixel columns.
struct TrendView {
  std::vector<TrendColumn> columns;
  // The X readings just outside the span that the line goes on to, and the
  // setpoint and heater state at its start.
  struct Point {
    double time;
    int16_t value;
  };
  std::optional<Point> xBefore, xAfter;
  std::optional<int16_t> wBefore;
  int8_t heaterBefore = -1;
};

class TrendBuffer {
 public:
  // Seconds held: a day.
  static constexpr double kSpan = 86'400;
  static constexpr size_t kEventCapacity = 20'000;

  explicit TrendBuffer(double span = kSpan) : span_(span) {}

  // Appends a sample (times never go backwards); W and the heater carry on
  // from the one before. When the newest sample held is of the same kind and
  // second of the program's clock, the new one takes its place and keeps the
  // second's least and greatest X or W. Samples more than the span older than
  // the newest give way, and events older than the oldest sample with them.
  void add(TrendSample sample);
  void addEvent(TrendEvent event);
  // Samples and events from before all those held (a run's log read back),
  // each in time order, put in front of them; those more than the span older
  // than the newest sample are left out.
  void addEarlier(const std::vector<TrendSample>& samples, const std::vector<TrendEvent>& events);

  const std::deque<TrendSample>& samples() const { return samples_; }
  const std::deque<TrendEvent>& events() const { return events_; }
  // Index of the first sample at or after `time`.
  size_t lowerBound(double time) const;

  // [from, to) in `columns` equal columns: each with the min and max of X and
  // W over its samples. The X line breaks at a failed read and where two
  // readings lie more than `maxGap` seconds apart.
  TrendView decimate(double from, double to, int columns, double maxGap) const;

  // Everything held, samples and events in time order, as CSV with its
  // header; elapsed seconds count from the first row.
  QByteArray csv() const;

 private:
  double span_;
  std::deque<TrendSample> samples_;
  std::deque<TrendEvent> events_;
};

}  // namespace ovx
