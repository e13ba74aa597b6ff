// A temperature run that the program did not see to its end (a crash, a
// power cut, a logout) is taken up again from its log: at start the newest
// log of the runs folder is offered to the operator, who resumes its step,
// goes on with the next one, or closes it.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "link/commands.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/run_log.h"

namespace ovx {

struct Interrupted {
  QString path;
  QByteArray log;
  RunRecord record;
  double age = 0;  // seconds since its last row
};

// The newest log of the runs folder, when it is a temperature run's that did
// not end, whose last row is at most [Run] ResumeWithin seconds old, that no
// alarm of the watch stopped, and whose step's setpoint is the controller's
// W (`block`, as last read). Why such a run is not offered goes to `tell`.
std::optional<Interrupted> FindInterrupted(Platform& platform, const Settings& settings,
                                           const DataBlockWords& block,
                                           const std::function<void(const QString&)>& tell);

enum class ResumeChoice { ThisStep, NextStep, No };

// Asks the operator, in a box that shows the run as its log tells it and the
// controller's W (as last read), X (read now) and heater output. "Do not
// resume" is the default and Escape's answer.
ResumeChoice AskResume(Platform& platform, Commands& commands, const Interrupted& run);

}  // namespace ovx
