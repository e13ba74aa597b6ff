// The temperature-run dialog and the run it starts.
#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

#include "link/commands.h"
#include "pidstore/pidstore.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/run_log.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ovx {

class frmOVX;

// A top-level window without parent. Closing it (Cancel or its close box)
// unloads it: the next ShowCentered loads it afresh with the defaults, so
// its owner may keep one instance for the whole program.
class frmTRun : public QWidget {
  Q_OBJECT
 public:
  // Builds the window and fills its fields (Form_Load); it stays hidden.
  frmTRun(Platform& platform, const Settings& settings, Commands& commands, PidStore& pidStore,
          frmOVX& form);
  ~frmTRun() override;

  QLabel* lblStart = nullptr;
  QLineEdit* TStart = nullptr;
  QLabel* lblStop = nullptr;
  QLineEdit* TStop = nullptr;
  QLabel* lblIncrement = nullptr;
  QLineEdit* TStep = nullptr;
  QLabel* lblDwellTime = nullptr;
  QLineEdit* DwellTime = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnCancel = nullptr;

  // The defaults: SP 1, SP H, 1 and 60.
  void Form_Load();
  // The menu entry: loads the window again when it was unloaded, centres it
  // and shows it modeless. Does nothing while a run is in progress (the
  // window stays hidden until the run ends).
  void ShowCentered();
  // False after the window has been closed, until it is shown again.
  bool loaded() const { return loaded_; }

  int16_t CheckTStart();
  int16_t CheckTStop();
  int16_t CheckTStep();
  int16_t CheckDwellTime();
  void CheckTemperatureParameter();

  // The dwell at one step, counted down in the main window's status line
  // from `done` seconds on, held from the start when `held`. Hold stops the
  // count until Continue; a row of the log every minute of it tells how far
  // it is.
  void CountDown(int16_t dwell, double done = 0, bool held = false);

  // Takes the interrupted run of `record` up again, `away` seconds after its
  // log's last row, with the dialog's fields set to its values: its step
  // waits for steady state again and dwells for what was left of its dwell
  // (held again when it was held), or, with `nextStep` (or when that dwell
  // was over), the run goes on with the next step.
  void Resume(const RunRecord& record, bool nextStep, double away);

  // True while a temperature run is in progress (from the click on Start to
  // its end).
  bool running() const;

 signals:
  // The window was closed (Cancel or its close box); an owner that prefers
  // to delete it may do so from here, queued.
  void unloaded();

 public slots:
  void BtnStart_Click();
  void BtnCancel_Click();

 protected:
  void closeEvent(class QCloseEvent* event) override;
  bool eventFilter(QObject* watched, class QEvent* event) override;

 private:
  // Enter in a field: normalise it and move on.
  void fieldEnter(QLineEdit* field);
  // Leaving a field: normalise it (not the dwell time).
  void fieldLeft(QLineEdit* field);
  // The step at T, when it has begun already: how much of its dwell was done.
  struct Begun {
    double done;
    bool held;
  };
  // The run's steps from the one at T to the last, with the fields' stop,
  // increment and dwell; ends as the operator cancels.
  void steps(int T, std::optional<Begun> begun);
  Platform& platform_;
  const Settings& settings_;
  Commands& commands_;
  PidStore& pidStore_;
  frmOVX& form_;
  bool loaded_ = true;
};

}  // namespace ovx
