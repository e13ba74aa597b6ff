// The trend buffer: one min/max pair per pixel column, breaks in the X line,
// the setpoint carried on, and a bounded store.
#include <gtest/gtest.h>

#include <map>

#include "record/trend_buffer.h"

using namespace ovx;

// A value block read (X), a data block read (W), or a read without answer.
TrendSample X(double time, int16_t x) {
  return {.time = time, .x = x};
}
TrendSample W(double time, int16_t w) {
  return {.time = time, .w = w, .kind = TrendSample::Data, .wKnown = true};
}

TEST(TrendBuffer, DecimationKeepsEachColumnsMinAndMax) {
  // Ten columns of 10 s, a reading a second at 100 °C, with spikes of one
  // reading at the first and last reading of columns.
  const std::map<int, int16_t> spikes = {{10, 150}, {19, 20}, {39, 300}, {40, -5}, {99, 101}};
  TrendBuffer buffer;
  for (int t = 0; t < 100; ++t) buffer.add(X(t, spikes.contains(t) ? spikes.at(t) : int16_t{100}));
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
  buffer.add(W(0, 900));
  for (int t = 1; t < 30; ++t)
    buffer.add(t == 20 ? TrendSample{.time = 20, .kind = TrendSample::NoAnswer} : X(t, 850));
  buffer.add(W(30, 950));
  buffer.add(X(100, 940));  // 71 s after the reading before
  buffer.add(X(101, 941));
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
  // Older readings give way at the capacity, and events with them.
  buffer.addEvent({0.5, 0, 0, OperationEvent::Kind::RunStarted, QStringLiteral("start")});
  for (int t = 200; t < 230; ++t) buffer.add(X(t, 20));
  EXPECT_EQ(buffer.samples().size(), 40u);
  EXPECT_EQ(buffer.samples().front().time, 23);
  EXPECT_EQ(buffer.samples().front().w, 900);  // still what was last read
  EXPECT_TRUE(buffer.events().empty());
}
