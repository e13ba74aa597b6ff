// The trend's ear on the link and the operations: every reading, every data
// block written and every event goes into the trend buffer with its time on
// the program's clock and on the wall clock. It listens from the start, so
// the trend window shows what happened before it was opened.
#pragma once

#include <functional>

#include "link/listener.h"
#include "platform/platform.h"
#include "record/events.h"
#include "record/trend_buffer.h"

namespace ovx {

class TrendFeed : public LinkListener, public OperationListener {
 public:
  explicit TrendFeed(Platform& platform, double span = TrendBuffer::kSpan)
      : platform_(platform), buffer_(span) {}

  const TrendBuffer& buffer() const { return buffer_; }
  // Told after each new sample or event.
  std::function<void()> onChange;

  void readingTaken(const Reading& reading) override;
  void dataBlockSent(const DataBlockWords& words, bool fromMemory) override;
  void eventPosted(const OperationEvent& event) override;

  // The readings and events of a run's log, put before everything held, at
  // their times on the program's clock: a resumed run shows its start, and
  // the gap while no program was there.
  void addLog(const QByteArray& log);

 private:
  // A sample of the kind at the time, stamped with the wall clock now.
  TrendSample sample(double time, TrendSample::Kind kind);
  // W, heater and P, I, D of a data block read or written.
  TrendSample dataSample(double time, TrendSample::Kind kind, const DataBlockWords& words);
  void add(const TrendSample& sample);
  Platform& platform_;
  TrendBuffer buffer_;
};

}  // namespace ovx
