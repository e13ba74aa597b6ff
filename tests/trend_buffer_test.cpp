// The trend buffer: one min/max pair per pixel column, breaks in the X line,
// the setpoint carried on, and a bounded store.
#include <gtest/gtest.h>

#include <map>

#include "record/trend_buffer.h"

using namespace ovx;

namespace {

TrendSample Sample(double time, TrendSample::Kind kind, int16_t value = 0) {
  TrendSample s;
  s.time = time;
  s.kind = kind;
  s.x = value;
  s.w = value;
  s.wKnown = kind == TrendSample::Data;
  return s;
}

}  // namespace

TEST(TrendBuffer, DecimationKeepsEachColumnsMinAndMax) {
  // Ten columns of 10 s, a reading a second at 100 °C, with spikes of one
  // reading at the first and last reading of columns.
  const std::map<int, int16_t> spikes = {{10, 150}, {19, 20}, {39, 300}, {40, -5}, {99, 101}};
  TrendBuffer buffer;
  for (int t = 0; t < 100; ++t)
    buffer.add(Sample(t, TrendSample::Value, spikes.contains(t) ? spikes.at(t) : int16_t{100}));
  const struct {
    int column, min, max;
  } cases[] = {{0, 100, 100}, {1, 20, 150}, {2, 100, 100},
               {3, 100, 300}, {4, -5, 100}, {9, 100, 101}};
  const TrendView view = buffer.decimate(0, 100, 10, 60);
  for (const auto& c : cases) {
    const TrendRange& x = view.columns[static_cast<size_t>(c.column)].x;
    EXPECT_EQ(std::pair(int(x.min), int(x.max)), std::pair(c.min, c.max)) << c.column;
  }
}

TEST(TrendBuffer, BreaksCarriedSetpointAndBoundedStore) {
  TrendBuffer buffer(40);
  buffer.add(Sample(0, TrendSample::Data, 900));
  for (int t = 1; t < 30; ++t)
    buffer.add(t == 20 ? Sample(t, TrendSample::NoAnswer) : Sample(t, TrendSample::Value, 850));
  buffer.add(Sample(30, TrendSample::Data, 950));
  buffer.add(Sample(100, TrendSample::Value, 940));  // 71 s after the reading before
  buffer.add(Sample(101, TrendSample::Value, 941));
  // One column a second.
  const TrendView view = buffer.decimate(0, 110, 110, 60);
  const struct {
    int column;
    bool xBreak;
    int wMin, wMax;
  } cases[] = {{1, true, 900, 900},   {2, false, 900, 900},  {21, true, 900, 900},
               {22, false, 900, 900}, {30, false, 900, 950}, {100, true, 950, 950},
               {101, false, 950, 950}};
  for (const auto& c : cases) {
    const TrendColumn& column = view.columns[static_cast<size_t>(c.column)];
    EXPECT_EQ(column.xBreak, c.xBreak) << c.column;
    EXPECT_EQ(std::pair(int(column.w.min), int(column.w.max)), std::pair(c.wMin, c.wMax))
        << c.column;
  }
  // The span's start carries the setpoint and the reading before it.
  const TrendView later = buffer.decimate(25.5, 110, 10, 60);
  EXPECT_EQ(later.wBefore, 900);
  ASSERT_TRUE(later.xBefore);
  EXPECT_EQ(later.xBefore->time, 25);

  // Older readings give way at the capacity, and events with them.
  buffer.addEvent({0.5, 0, 0, OperationEvent::Kind::RunStarted, QStringLiteral("start")});
  buffer.addEvent({100.5, 0, 0, OperationEvent::Kind::RunEnded, QStringLiteral("end")});
  for (int t = 200; t < 230; ++t) buffer.add(Sample(t, TrendSample::Value, 20));
  EXPECT_EQ(buffer.samples().size(), 40u);
  EXPECT_EQ(buffer.samples().front().time, 23);
  EXPECT_EQ(buffer.samples().front().w, 900);  // still what was last read
  ASSERT_EQ(buffer.events().size(), 1u);
  EXPECT_EQ(buffer.events().front().text, "end");
}
