// "Watch…": the settings of section [Watch] of "ovx.ini" in a dialog. OK
// refuses a value out of range with a box, else writes the section and
// hands the settings on, to take effect at once.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "platform/platform.h"
#include "protocol/settings.h"
#include "watch/watch_settings.h"

class QCheckBox;
class QLineEdit;

namespace ovx {

class WatchDialog : public QDialog {
  Q_OBJECT
 public:
  // `highLimit`: SP H as last read, for the default of OverTemperature.
  WatchDialog(Platform& platform, const Settings& settings, const WatchSettings& watch,
              int highLimit, QWidget* parent = nullptr);

  // The settings written, after OK.
  std::function<void(const WatchSettings&)> onApply;

  QCheckBox* enabled = nullptr;
  // The fields of Interval, OverTemperature, Deviation, DeviationTime,
  // NoAnswerTime and RunawayTime, in the order of WatchKeys() after Enabled.
  std::array<QLineEdit*, 6> fields{};

 public slots:
  // Checks every field; writes and closes only when all are valid.
  void accept() override;

 private:
  Platform& platform_;
  const Settings& settings_;
};

}  // namespace ovx
