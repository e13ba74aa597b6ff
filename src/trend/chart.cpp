#include "trend/chart.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QTimeZone>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace ovx {

const QColor TrendChart::kXColor(200, 30, 30);
const QColor TrendChart::kWColor(30, 80, 200);
const QColor TrendChart::kHeaterOnColor(255, 150, 40);
const QColor TrendChart::kHeaterOffColor(215, 215, 215);

namespace {

constexpr double kMinSpan = 10;
constexpr double kMaxSpan = 7 * 86'400;
constexpr double kFirstSpan = 60;   // the least a fresh trend shows
constexpr double kWheelZoom = 0.8;  // span per wheel step in
constexpr int kHeaterBand = 6;      // pixels
constexpr int kMinTickPixels = 30;  // between °C ticks
constexpr int kMinTimePixels = 80;  // between time ticks
constexpr int kHoverReach = 3;      // pixels around an event mark
const QColor kGrid(232, 232, 232);
const QColor kAxis(90, 90, 90);

// 1, 2 or 5 times a power of ten, at least `raw`.
double RoundStep(double raw) {
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * magnitude >= raw) return m * magnitude;
  return 10 * magnitude;
}

// Time ticks, in seconds: round steps of the clock.
constexpr std::array<double, 20> kTimeSteps = {1,     2,     5,     10,    15,     30,    60,
                                               120,   300,   600,   900,   1800,   3600,  7200,
                                               10800, 21600, 43200, 86400, 172800, 604800};

struct Mark {
  QString letter;
  QColor color;
};

// The events marked on the time axis; the others are left out.
std::optional<Mark> MarkOf(const TrendEvent& e) {
  using Kind = OperationEvent::Kind;
  switch (e.kind) {
    case Kind::HeaterSwitched:
      if (e.text == QLatin1String("heater on"))
        return Mark{QStringLiteral("H"), QColor(230, 110, 0)};
      return Mark{QStringLiteral("h"), QColor(120, 120, 120)};
    case Kind::SetpointWritten:
      return Mark{QStringLiteral("W"), TrendChart::kWColor};
    case Kind::StepStarted:
      return Mark{QStringLiteral("S"), TrendChart::kWColor};
    case Kind::SteadyReached:
      return Mark{QStringLiteral("="), QColor(0, 140, 60)};
    case Kind::OperatorOK:
      return Mark{QStringLiteral("K"), QColor(0, 140, 60)};
    case Kind::OperatorCancel:
      return Mark{QStringLiteral("C"), QColor(170, 0, 0)};
    case Kind::DwellDone:
      return Mark{QStringLiteral("D"), QColor(0, 140, 60)};
    case Kind::SelfOptimizingStarted:
    case Kind::SelfOptimizingFinished:
      return Mark{QStringLiteral("O"), QColor(130, 40, 160)};
    case Kind::AlarmRaised:
      return Mark{QStringLiteral("A"), QColor(220, 0, 0)};
    case Kind::DwellHeld:
      return Mark{QStringLiteral("P"), QColor(170, 110, 0)};
    case Kind::DwellContinued:
      return Mark{QStringLiteral("G"), QColor(0, 140, 60)};
    case Kind::RunResumed:
      return Mark{QStringLiteral("R"), QColor(130, 40, 160)};
    case Kind::RunStarted:
    case Kind::RunEnded:
    case Kind::ProgramEnding:
    case Kind::DwellProgress:
    case Kind::RunNotResumed:
    case Kind::AlarmCleared:
    case Kind::AlarmAcknowledged:
      break;
  }
  return std::nullopt;
}

QString ClockText(double localSeconds, const char* format) {
  const auto ms = static_cast<qint64>(std::floor(localSeconds * 1000));
  return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString(QLatin1String(format));
}

}  // namespace

TrendChart::TrendChart(const TrendBuffer& buffer, QWidget* parent)
    : QWidget(parent), buffer_(buffer) {
  setObjectName(QStringLiteral("chart"));
  setAccessibleName(QStringLiteral("Trend chart"));
  setAccessibleDescription(
      QStringLiteral("Left and Right go back and forth in time, + and - zoom, End follows the "
                     "newest reading; Shift+Left and Shift+Right move the readout from reading "
                     "to reading."));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(300, 160);
}

void TrendChart::setFollowing(bool following) {
  if (following == following_) return;
  following_ = following;
  if (!following) {
    // Held where it is, at the span it shows.
    end_ = layout_.to;
    span_ = layout_.to - layout_.from;
    zoomed_ = true;
  }
  emit followingChanged(following);
  update();
}

void TrendChart::setSpan(double seconds) {
  span_ = std::clamp(seconds, kMinSpan, kMaxSpan);
  zoomed_ = true;
  update();
}

double TrendChart::shownSpan() const {
  const auto& samples = buffer_.samples();
  // Until the operator zooms, a young trend shows all it holds.
  if (zoomed_ || !following_ || samples.empty()) return span_;
  return std::clamp(newest() - samples.front().time, kFirstSpan, span_);
}

void TrendChart::setEnd(double end) {
  setFollowing(false);
  const auto& samples = buffer_.samples();
  const double oldest = samples.empty() ? 0 : samples.front().time;
  end_ = std::clamp(end, oldest + kMinSpan, std::max(oldest + kMinSpan, newest() + span_ / 2));
  update();
}

double TrendChart::newest() const {
  const auto& samples = buffer_.samples();
  const auto& events = buffer_.events();
  return std::max(samples.empty() ? 0 : samples.back().time,
                  events.empty() ? 0 : events.back().time);
}

double TrendChart::xFor(double time) const {
  const Layout& l = layout_;
  return l.plot.left() + (time - l.from) / (l.to - l.from) * l.plot.width();
}

double TrendChart::timeAt(double x) const {
  const Layout& l = layout_;
  return l.from + (x - l.plot.left()) / l.plot.width() * (l.to - l.from);
}

double TrendChart::yFor(double value) const {
  const Layout& l = layout_;
  return l.plot.bottom() - (value - l.low) / (l.high - l.low) * (l.plot.height() - 1);
}

double TrendChart::localSeconds(double time) const {
  if (buffer_.samples().empty()) return 0;
  const size_t at = buffer_.lowerBound(time);
  return localSeconds(time, at > 0 ? at - 1 : 0);
}

double TrendChart::localSeconds(double time, size_t index) const {
  const TrendSample& s = buffer_.samples()[index];
  return static_cast<double>(s.wallMs) / 1000 + s.utcOffsetQuarters * 900 + (time - s.time);
}

std::vector<TrendChart::TimeTick> TrendChart::timeTicks() const {
  const Layout& l = layout_;
  const auto& samples = buffer_.samples();
  std::vector<TimeTick> ticks;
  if (samples.empty() || !(l.to > l.from) || l.plot.width() <= 0) return ticks;
  // Round steps far enough apart for their labels.
  const double perSecond = l.plot.width() / (l.to - l.from);
  double step = kTimeSteps.back();
  for (double s : kTimeSteps) {
    if (s * perSecond >= kMinTimePixels) {
      step = s;
      break;
    }
  }

  // Where the UTC offset changes between the samples that hold the two
  // edges: halving finds each change in a few looks, however many samples.
  const auto offset = [&samples](size_t i) { return samples[i].utcOffsetQuarters; };
  const size_t first = std::max<size_t>(buffer_.lowerBound(l.from), 1) - 1;
  const size_t last = std::max<size_t>(buffer_.lowerBound(l.to), 1) - 1;
  std::vector<size_t> bases{first};
  const auto changes = [&](auto& self, size_t a, size_t b) -> void {
    if (offset(a) == offset(b)) return;
    if (b - a == 1) {
      bases.push_back(b);
      return;
    }
    self(self, a, (a + b) / 2);
    self(self, (a + b) / 2, b);
  };
  changes(changes, first, last);

  // Each stretch of one offset gets the round times of its own local clock.
  // The offset changed somewhere after the last sample of the one before,
  // so a stretch runs from just after that sample to its own last one: at
  // the moment of the change itself the clock already reads the new time.
  for (size_t k = 0; k < bases.size(); ++k) {
    const double begin = k == 0 ? l.from : samples[bases[k] - 1].time;
    const double end = k + 1 < bases.size() ? samples[bases[k + 1] - 1].time : l.to;
    const double local = localSeconds(begin, bases[k]);
    double s = std::ceil(local / step) * step;
    if (k > 0 && s == local) s += step;
    for (; s <= local + (end - begin); s += step) {
      const bool midnight = std::fmod(s, 86'400) == 0 && step >= 3600;
      ticks.push_back({begin + (s - local), ClockText(s, midnight    ? "yyyy-MM-dd"
                                                         : step < 60 ? "HH:mm:ss"
                                                                     : "HH:mm")});
    }
  }
  return ticks;
}

QImage TrendChart::image() {
  QImage picture(size(), QImage::Format_RGB32);
  QPainter painter(&picture);
  draw(painter, size(), false);
  return picture;
}

void TrendChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  draw(painter, size(), true);
}

void TrendChart::draw(QPainter& painter, QSize size, bool hover) {
  painter.fillRect(QRect(QPoint(), size), Qt::white);
  painter.setFont(font());
  const QFontMetrics metrics(font());
  const int line = metrics.height();
  const int left = metrics.horizontalAdvance(QStringLiteral("-00000")) + 8;
  Layout& l = layout_;
  l.plot = QRect(left, line + 8, size.width() - left - 12, size.height() - 3 * line - 16);
  if (l.plot.width() < 10 || l.plot.height() < 10) return;
  l.to = following_ ? newest() : end_;
  l.from = l.to - shownSpan();
  const TrendView view = buffer_.decimate(l.from, l.to, l.plot.width(), maxGap_);

  // The °C range: what the span shows, on round ticks.
  double low = 1e9, high = -1e9;
  for (const TrendColumn& c : view.columns) {
    for (const TrendRange* r : {&c.x, &c.w}) {
      if (!r->any) continue;
      low = std::min<double>(low, r->min);
      high = std::max<double>(high, r->max);
    }
  }
  if (view.wBefore) {
    low = std::min<double>(low, *view.wBefore);
    high = std::max<double>(high, *view.wBefore);
  }
  if (low > high) low = 0, high = 100;
  if (high - low < 10) {
    const double middle = std::round((low + high) / 2);
    low = middle - 5, high = middle + 5;
  }
  // Headroom, so that no curve runs along the frame.
  const double margin = (high - low) / 20;
  low -= margin, high += margin;
  const double step = RoundStep((high - low) / std::max(1, l.plot.height() / kMinTickPixels));
  l.low = std::floor(low / step) * step;
  l.high = std::max(l.low + step, std::ceil(high / step) * step);

  drawAxes(painter);
  drawCurves(painter, view);
  drawEvents(painter);
  if (hover) drawHover(painter);
}

void TrendChart::drawAxes(QPainter& painter) {
  const Layout& l = layout_;
  const QFontMetrics metrics(font());
  const int line = metrics.height();

  // °C: grid lines and labels on round values.
  const double step = RoundStep((l.high - l.low) / std::max(1, l.plot.height() / kMinTickPixels));
  for (double v = l.low; v <= l.high + step / 2; v += step) {
    const int y = qRound(yFor(v));
    painter.setPen(kGrid);
    painter.drawLine(l.plot.left(), y, l.plot.right(), y);
    painter.setPen(kAxis);
    painter.drawText(QRect(0, y - line / 2, l.plot.left() - 6, line),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', step < 1 ? 1 : 0));
  }
  painter.drawText(QRect(0, 0, l.plot.left() - 6, line + 4), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("°C"));

  // Clock time.
  const int labelTop = l.plot.bottom() + line + 6;
  for (const TimeTick& tick : timeTicks()) {
    const int x = qRound(xFor(tick.time));
    painter.setPen(kGrid);
    painter.drawLine(x, l.plot.top(), x, l.plot.bottom());
    painter.setPen(kAxis);
    painter.drawLine(x, l.plot.bottom() + 1, x, l.plot.bottom() + 4);
    const int half = metrics.horizontalAdvance(tick.text) / 2 + 1;
    // A label that would be cut off at either side is left out.
    if (x - half >= 0 && x + half <= l.plot.right() + 10)
      painter.drawText(QRect(x - half, labelTop, 2 * half, line), Qt::AlignHCenter | Qt::AlignTop,
                       tick.text);
  }
  painter.setPen(kAxis);
  painter.drawRect(l.plot.adjusted(0, 0, -1, -1));

  // Legend.
  int x = l.plot.left();
  const int y = line / 2 + 4;
  auto legend = [&](const QColor& color, const QString& text, bool band) {
    if (band)
      painter.fillRect(x, y - kHeaterBand / 2, 16, kHeaterBand, color);
    else
      painter.setPen(QPen(color, 2)), painter.drawLine(x, y, x + 16, y);
    painter.setPen(kAxis);
    painter.drawText(QPoint(x + 20, y + metrics.ascent() / 2 - 1), text);
    x += 20 + metrics.horizontalAdvance(text) + 16;
  };
  legend(kXColor, QStringLiteral("X actual"), false);
  legend(kWColor, QStringLiteral("W setpoint"), false);
  legend(kHeaterOnColor, QStringLiteral("heater on"), true);
}

void TrendChart::drawCurves(QPainter& painter, const TrendView& view) {
  const Layout& l = layout_;
  painter.save();
  painter.setClipRect(l.plot.adjusted(1, 1, -1, -1));
  const int last =
      std::min(l.plot.width() - 1, static_cast<int>(std::floor(xFor(newest()))) - l.plot.left());
  auto y = [this](int16_t v) { return qRound(yFor(v)); };

  // Heater: a band along the bottom, up to the newest reading.
  int8_t heater = view.heaterBefore;
  const int bandTop = l.plot.bottom() - kHeaterBand;
  for (int c = 0; c <= last; ++c) {
    const TrendColumn& column = view.columns[static_cast<size_t>(c)];
    const bool on = column.sampled ? column.heaterOn : heater == 1;
    const bool known = column.sampled ? column.heaterLast >= 0 : heater >= 0;
    if (column.sampled) heater = column.heaterLast;
    if (known)
      painter.fillRect(l.plot.left() + c, bandTop, 1, kHeaterBand,
                       on ? kHeaterOnColor : kHeaterOffColor);
  }

  // W: a step line that holds the setpoint last read or written.
  std::vector<QLine> lines;
  std::optional<int16_t> w = view.wBefore;
  int wx = l.plot.left();
  for (int c = 0; c <= last; ++c) {
    const TrendColumn& column = view.columns[static_cast<size_t>(c)];
    if (!column.w.any) continue;
    const int x = l.plot.left() + c;
    if (w) lines.emplace_back(wx, y(*w), x, y(*w));
    lines.emplace_back(x, y(column.w.min), x, y(column.w.max));
    w = column.w.last;
    wx = x;
  }
  if (w && last >= 0) lines.emplace_back(wx, y(*w), l.plot.left() + last, y(*w));
  painter.setPen(QPen(kWColor, 1));
  painter.drawLines(lines.data(), static_cast<int>(lines.size()));

  // X: per column its min-max stroke, joined to the column before.
  lines.clear();
  std::optional<QPoint> before;
  if (view.xBefore) before = QPoint(qRound(xFor(view.xBefore->time)), y(view.xBefore->value));
  for (size_t c = 0; c < view.columns.size(); ++c) {
    const TrendRange& x = view.columns[c].x;
    if (!x.any) continue;
    const int px = l.plot.left() + static_cast<int>(c);
    if (before && !view.columns[c].xBreak) lines.emplace_back(*before, QPoint(px, y(x.first)));
    lines.emplace_back(px, y(x.min), px, y(x.max));
    before = QPoint(px, y(x.last));
  }
  if (before && view.xAfter)
    lines.emplace_back(*before, QPoint(qRound(xFor(view.xAfter->time)), y(view.xAfter->value)));
  painter.setPen(QPen(kXColor, 1));
  painter.drawLines(lines.data(), static_cast<int>(lines.size()));
  painter.restore();
}

void TrendChart::drawEvents(QPainter& painter) {
  const Layout& l = layout_;
  const QFontMetrics metrics(font());
  int free = 0;  // where the next letter may start without covering the last
  for (const TrendEvent& e : buffer_.events()) {
    if (e.time < l.from || e.time > l.to) continue;
    const std::optional<Mark> mark = MarkOf(e);
    if (!mark) continue;
    const int x = qRound(xFor(e.time));
    QColor faint = mark->color;
    faint.setAlpha(90);
    painter.setPen(QPen(faint, 1, Qt::DotLine));
    painter.drawLine(x, l.plot.top() + 1, x, l.plot.bottom() - kHeaterBand - 1);
    painter.setPen(mark->color);
    const int width = metrics.horizontalAdvance(mark->letter);
    const int left = std::max(x - width / 2, free);
    painter.drawText(QPoint(left, l.plot.bottom() + 3 + metrics.ascent()), mark->letter);
    free = left + width + 2;
  }
}

void TrendChart::drawHover(QPainter& painter) {
  const Layout& l = layout_;
  if (buffer_.samples().empty() || !(hoverX_ || readoutTime_)) return;
  const int x = readoutTime_ ? qRound(xFor(*readoutTime_)) : *hoverX_;
  if (x < l.plot.left() || x > l.plot.right()) return;
  const QStringList lines = readout(readoutTime_ ? *readoutTime_ : timeAt(x), x);

  painter.setPen(QPen(kAxis, 1, Qt::DashLine));
  painter.drawLine(x, l.plot.top(), x, l.plot.bottom());
  const QFontMetrics metrics(font());
  int width = 0;
  for (const QString& s : lines) width = std::max(width, metrics.horizontalAdvance(s));
  QRect box(l.plot.left() + 6, l.plot.top() + 6, width + 12, metrics.height() * lines.size() + 8);
  if (x < box.right() + 10) box.moveRight(l.plot.right() - 6);
  painter.fillRect(box, QColor(255, 255, 255, 230));
  painter.setPen(kAxis);
  painter.drawRect(box);
  painter.drawText(box.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop, lines.join('\n'));
}

QStringList TrendChart::readout(double t, int x) const {
  const auto& samples = buffer_.samples();
  QStringList lines;
  QString text = ClockText(localSeconds(t), "HH:mm:ss");

  // The nearest X reading within reach, and the setpoint held at the time.
  const size_t at = buffer_.lowerBound(t);
  std::optional<TrendSample> nearest;
  for (size_t i = at; i < samples.size() && i < at + 64; ++i)
    if (samples[i].kind == TrendSample::Value || samples[i].failed()) {
      nearest = samples[i];
      break;
    }
  for (size_t i = at; i-- > 0 && at - i <= 64;)
    if (samples[i].kind == TrendSample::Value || samples[i].failed()) {
      if (!nearest || t - samples[i].time < nearest->time - t) nearest = samples[i];
      break;
    }
  if (nearest && std::abs(nearest->time - t) <= maxGap_)
    text += nearest->failed() ? QStringLiteral("   ") + nearest->failureText()
                              : QStringLiteral("   X %1 °C").arg(nearest->x);
  const TrendSample& held = samples[at > 0 ? at - 1 : 0];
  if (held.wKnown && held.time <= t) text += QStringLiteral("   W %1 °C").arg(held.w);
  lines << text;
  for (const TrendEvent& e : buffer_.events())
    if (MarkOf(e) && std::abs(xFor(e.time) - x) <= kHoverReach)
      lines << ClockText(localSeconds(e.time), "HH:mm:ss") + QStringLiteral("   ") + e.text;
  return lines;
}

void TrendChart::stepReadout(int direction) {
  const auto& samples = buffer_.samples();
  const Layout& l = layout_;
  const size_t first = buffer_.lowerBound(l.from);
  const size_t last = buffer_.lowerBound(std::nextafter(l.to, HUGE_VAL));  // past the end
  auto reading = [&](size_t i) {
    return samples[i].kind == TrendSample::Value || samples[i].failed();
  };
  std::optional<size_t> found;
  const bool inView = readoutTime_ && *readoutTime_ >= l.from && *readoutTime_ <= l.to;
  if (inView && direction > 0) {
    for (size_t i = buffer_.lowerBound(std::nextafter(*readoutTime_, HUGE_VAL)); i < last && !found;
         ++i)
      if (reading(i)) found = i;
  } else {
    for (size_t i = inView ? buffer_.lowerBound(*readoutTime_) : last; i-- > first && !found;)
      if (reading(i)) found = i;
  }
  if (!found) return;
  readoutTime_ = samples[*found].time;
  hoverX_.reset();
  // What the readout shows, for a screen reader.
  setAccessibleDescription(
      readout(*readoutTime_, qRound(xFor(*readoutTime_))).join(QStringLiteral("; ")));
  update();
}

void TrendChart::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  const double shown = shownSpan();
  const double span = std::clamp(shown * std::pow(kWheelZoom, steps), kMinSpan, kMaxSpan);
  if (!following_) {
    // The time under the pointer stays where it is.
    const double t = timeAt(event->position().x());
    end_ = t + (layout_.to - t) * span / shown;
  }
  span_ = span;
  zoomed_ = true;
  update();
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragFrom_ = event->position().toPoint();
  dragEnd_ = layout_.to;
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  hoverX_ = event->position().toPoint().x();
  readoutTime_.reset();
  if (dragFrom_ && layout_.plot.width() > 0) {
    const double dx = event->position().x() - dragFrom_->x();
    if (std::abs(dx) >= 2 || !following_)
      setEnd(dragEnd_ - dx * (layout_.to - layout_.from) / layout_.plot.width());
  }
  update();
}

void TrendChart::mouseReleaseEvent(QMouseEvent*) {
  dragFrom_.reset();
}

void TrendChart::leaveEvent(QEvent*) {
  hoverX_.reset();
  update();
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      setSpan(shownSpan() * kWheelZoom);
      break;
    case Qt::Key_Minus:
      setSpan(shownSpan() / kWheelZoom);
      break;
    case Qt::Key_Left:
      if (event->modifiers() & Qt::ShiftModifier)
        stepReadout(-1);
      else
        setEnd(layout_.to - shownSpan() / 10);
      break;
    case Qt::Key_Right:
      if (event->modifiers() & Qt::ShiftModifier)
        stepReadout(1);
      else
        setEnd(layout_.to + shownSpan() / 10);
      break;
    case Qt::Key_End:
      setFollowing(true);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace ovx
