#include "trend/trend_window.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "link/tools.h"

namespace ovx {

namespace {

const QString kIni = QStringLiteral("ovx.ini");
const QString kSection = QStringLiteral("Trend");
const QString kKey = QStringLiteral("Interval");

// Readings further apart than this are drawn with a gap between them.
double MaxGap(int interval) {
  return std::max(120.0, 2.5 * interval + 2);
}

}  // namespace

TrendWindow::TrendWindow(Platform& platform, const Settings& settings, Monitor& monitor,
                         TrendFeed& feed)
    : platform_(platform), settings_(settings), feed_(feed), monitor_(monitor) {
  setObjectName(QStringLiteral("Trend"));
  setWindowTitle(QStringLiteral("Trend"));
  setWindowFlags(Qt::Window);
  resize(900, 480);

  chart_ = new TrendChart(feed.buffer(), this);
  auto* label = new QLabel(QStringLiteral("&Interval:"), this);
  interval_ = new QSpinBox(this);
  interval_->setObjectName(QStringLiteral("Interval"));
  interval_->setRange(Monitor::kMinInterval, Monitor::kMaxInterval);
  interval_->setSuffix(QStringLiteral(" s"));
  // Only a finished entry counts, not every digit typed on the way.
  interval_->setKeyboardTracking(false);
  label->setBuddy(interval_);
  follow_ = new QPushButton(QStringLiteral("&Follow"), this);
  follow_->setObjectName(QStringLiteral("Follow"));
  follow_->setCheckable(true);
  follow_->setChecked(chart_->following());
  follow_->setToolTip(QStringLiteral("The newest readings at the right edge (End)"));
  auto* saveCsvButton = new QPushButton(QStringLiteral("Save as CSV…"), this);
  auto* savePngButton = new QPushButton(QStringLiteral("Save as PNG…"), this);
  failure_ = new QLabel(this);
  failure_->setObjectName(QStringLiteral("failure"));

  auto* bar = new QHBoxLayout;
  bar->addWidget(label);
  bar->addWidget(interval_);
  bar->addSpacing(12);
  bar->addWidget(follow_);
  bar->addWidget(saveCsvButton);
  bar->addWidget(savePngButton);
  bar->addStretch(1);
  bar->addWidget(failure_);
  auto* column = new QVBoxLayout(this);
  column->addLayout(bar);
  column->addWidget(chart_, 1);

  int interval = platform_.profileInt(kSection, kKey, Monitor::kDefaultInterval, kIni);
  if (interval < Monitor::kMinInterval || interval > Monitor::kMaxInterval)
    interval = Monitor::kDefaultInterval;
  interval_->setValue(interval);
  monitor_.setTrendInterval(interval);
  chart_->setMaxGap(MaxGap(interval));

  connect(interval_, &QSpinBox::valueChanged, this, &TrendWindow::setInterval);
  connect(follow_, &QPushButton::toggled, chart_, &TrendChart::setFollowing);
  connect(chart_, &TrendChart::followingChanged, follow_, &QPushButton::setChecked);
  connect(saveCsvButton, &QPushButton::clicked, this, &TrendWindow::saveCsv);
  connect(savePngButton, &QPushButton::clicked, this, &TrendWindow::savePng);
  feed_.onChange = [this] { fed(); };
  chart_->setFocus();
}

TrendWindow::~TrendWindow() {
  feed_.onChange = nullptr;
  monitor_.setTrend(false);
}

void TrendWindow::open() {
  show();
  raise();
  activateWindow();
}

QString TrendWindow::failureText() const {
  return failure_->text();
}

void TrendWindow::setInterval(int seconds) {
  monitor_.setTrendInterval(seconds);
  chart_->setMaxGap(MaxGap(seconds));
  platform_.writeProfileString(kSection, kKey, QString::number(seconds), kIni);
}

void TrendWindow::fed() {
  const auto& samples = feed_.buffer().samples();
  if (!samples.empty()) {
    const TrendSample& s = samples.back();
    if (s.failed()) {
      failure_->setText(s.wallTime().toString(QStringLiteral("HH:mm:ss ")) + s.failureText());
      failure_->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0)"));
    } else if (s.kind == TrendSample::Value) {
      // Answered since: the failure stays in view, no longer in red.
      failure_->setStyleSheet(QString());
    }
  }
  if (isVisible()) chart_->update();
}

void TrendWindow::showEvent(QShowEvent* event) {
  // The window system's showing and hiding (minimising) changes nothing.
  if (!event->spontaneous()) monitor_.setTrend(true);
  QWidget::showEvent(event);
}

void TrendWindow::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) monitor_.setTrend(false);
  QWidget::hideEvent(event);
}

void TrendWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TrendWindow::saveCsv() {
  save(QStringLiteral("Save as CSV"), QStringLiteral(".csv"),
       QStringLiteral("CSV files (*.csv);;All files (*)"), [this] { return feed_.buffer().csv(); });
}

void TrendWindow::savePng() {
  // The picture as the window shows it when the operator asks.
  const QImage picture = chart_->image();
  save(QStringLiteral("Save as PNG"), QStringLiteral(".png"),
       QStringLiteral("PNG images (*.png);;All files (*)"), [&picture] {
         QByteArray png;
         QBuffer buffer(&png);
         buffer.open(QIODevice::WriteOnly);
         picture.save(&buffer, "PNG");
         return png;
       });
}

void TrendWindow::save(const QString& title, const QString& suffix, const QString& filter,
                       const std::function<QByteArray()>& data) {
  const QString suggestion = settings_.Dir + QStringLiteral("trend_") +
                             platform_.wallClock().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                             suffix;
  const std::optional<QString> path = platform_.saveFileName(title, suggestion, filter);
  if (!path) return;
  const FileError error = platform_.writeFileDurably(*path, data());
  if (!error.isEmpty())
    MsgBox(platform_,
           QStringLiteral("Unable to write ") + *path + QStringLiteral(":") + CRLF + error,
           MsgButtons::Ok, MsgIcon::None, title);
}

}  // namespace ovx
