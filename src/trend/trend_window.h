// The "Trend" window: the chart of X and W, the monitoring interval, the way
// back to following, and saving what the window holds as CSV or PNG. It is
// shown only when asked for; closing it hides it, and its data stays.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/trend_feed.h"
#include "trend/chart.h"
#include "watch/monitor.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace ovx {

class TrendWindow : public QWidget {
  Q_OBJECT
 public:
  // The interval comes from "ovx.ini", [Trend] Interval; `monitor` reads
  // at it while the window is shown.
  TrendWindow(Platform& platform, const Settings& settings, Monitor& monitor, TrendFeed& feed);
  ~TrendWindow() override;

  // Shows the window in front; monitoring runs while it is shown.
  void open();

  TrendChart& chart() { return *chart_; }
  Monitor& monitor() { return monitor_; }
  QSpinBox& intervalBox() { return *interval_; }
  // The last failed read, with its time ("14:03:27 no answer"); empty when
  // there was none.
  QString failureText() const;

  // "Save as CSV…" and "Save as PNG…": a file dialog, then the file.
  void saveCsv();
  void savePng();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // A new sample or event in the feed.
  void fed();
  void setInterval(int seconds);
  // Asks where, then writes the bytes made by `data`.
  void save(const QString& title, const QString& suffix, const QString& filter,
            const std::function<QByteArray()>& data);

  Platform& platform_;
  const Settings& settings_;
  TrendFeed& feed_;
  Monitor& monitor_;
  TrendChart* chart_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QPushButton* follow_ = nullptr;
  QLabel* failure_ = nullptr;
};

}  // namespace ovx
