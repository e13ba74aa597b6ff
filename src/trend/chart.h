// The trend chart: X and W in °C against clock time, the heater output as a
// band under the curves, and the operations' events marked on the time axis.
// It draws at most one min/max pair per pixel column, so a day of readings
// costs the same as a minute.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <optional>
#include <vector>

#include "record/trend_buffer.h"

namespace ovx {

class TrendChart : public QWidget {
  Q_OBJECT
 public:
  explicit TrendChart(const TrendBuffer& buffer, QWidget* parent = nullptr);

  static const QColor kXColor, kWColor, kHeaterOnColor, kHeaterOffColor;

  // Following: the newest reading stays at the right edge, zooming included.
  // Panning back in time ends it.
  bool following() const { return following_; }
  void setFollowing(bool following);
  // Seconds across the plot, within 10 s and a week (30 minutes at first;
  // less while the trend holds less).
  void setSpan(double seconds);
  // X readings further apart than this are not joined: readings are missing
  // between them (no monitoring while the window was closed).
  void setMaxGap(double seconds) { maxGap_ = seconds; }

  // The chart as drawn at its size, without the hover line (Save as PNG).
  QImage image();

  // A mark on the time axis: its time on the program's clock, and the wall
  // clock's local time there in the UTC offset of that moment, so that the
  // labels go on in the new offset after a daylight-saving change.
  struct TimeTick {
    double time;
    QString text;
  };
  // The marks on round steps of the clock, as last drawn.
  std::vector<TimeTick> timeTicks() const;
  // Where a time and a temperature land, as last drawn.
  double xFor(double time) const;
  double yFor(double value) const;

 signals:
  void followingChanged(bool following);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Layout {
    QRect plot;
    double from = 0, to = 1;   // time at the left and right edge of the plot
    double low = 0, high = 1;  // °C at the bottom and top of the plot
  };
  void draw(QPainter& painter, QSize size, bool hover);
  void drawAxes(QPainter& painter);
  void drawCurves(QPainter& painter, const TrendView& view);
  void drawEvents(QPainter& painter);
  void drawHover(QPainter& painter);
  // The readout's lines for time t, drawn at x: the clock time with the X
  // reading nearest to it and the setpoint held, then the events within reach.
  QStringList readout(double t, int x) const;
  // Moves the keyboard's readout to the reading in view before (-1) or after
  // (+1) it; the first step starts at the newest reading in view.
  void stepReadout(int direction);
  // The time at a horizontal position, as last drawn.
  double timeAt(double x) const;
  // The newest time in the buffer; 0 when it is empty.
  double newest() const;
  // The span shown now.
  double shownSpan() const;
  // Moves the right edge (ends following).
  void setEnd(double end);
  // The wall clock's local time in seconds since the epoch at a program time,
  // from the sample nearest before it (0 when there is none).
  double localSeconds(double time) const;
  // The same from the sample at `index`.
  double localSeconds(double time, size_t index) const;

  const TrendBuffer& buffer_;
  Layout layout_;
  bool following_ = true;
  double span_ = 30 * 60;
  bool zoomed_ = false;  // the operator chose the span
  double end_ = 0;       // right edge while not following
  double maxGap_ = 60;
  std::optional<int> hoverX_;
  std::optional<double> readoutTime_;  // the keyboard's readout, on a reading
  std::optional<QPoint> dragFrom_;
  double dragEnd_ = 0;
};

}  // namespace ovx
