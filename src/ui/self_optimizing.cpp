// The controller's self-optimizing run, prepared, supervised and followed by
// the wait for a steady temperature.
#include <QPushButton>

#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx {

void Operations::menuOVXSelfOptimizing_Click() {
  // Claimed before the setpoint is read: nothing goes out while another long
  // operation holds the controller.
  const std::optional<LongClaim> claim = beginLong(LongOperation::SelfOptimizing);
  if (!claim) return;
  // An alarm while the setpoint is asked for stops it too.
  const Busy busy(*this);
  if (const std::optional<int16_t> W = EnterSetpoint()) selfOptimize(*W);
}

void Operations::SelfOptimizing(int16_t W) {
  const std::optional<LongClaim> claim = beginLong(LongOperation::SelfOptimizing);
  if (claim) selfOptimize(W);
}

void Operations::selfOptimize(int16_t W) {
  const Busy busy(*this);
  frmOVX& form = form_;
  Commands& commands = commands_;
  const QString& nl = CRLF;
  const QString ready = QStringLiteral("Ready");

  form.setStatusLine(QStringLiteral("Preparing for self-optimizing procedure..."));
  commands.GetValueBlock(true);
  commands.GetDataBlock(true);
  const int16_t X = commands_.Values.ActualTemperature;
  // The span of the setpoint limits; formed in int so that extreme limits
  // cannot overflow.
  const int span = commands_.DataBlock[kSetpointHigh] - commands_.DataBlock[kSetpointLow];
  // An alarm switched the heater off: nothing is started.
  if (stoppedByAlarm_) {
    form.setStatusLine(ready);
    return;
  }

  commands_.DataBlock[kSetpoint] = W;
  commands.SendDataBlock();

  // The run must start well below the setpoint, which an X that did not
  // decode cannot show.
  const double margin = 0.2 * span;
  if (X == kNoValue || !(X + margin <= W)) {
    BeepIfSound(platform_, settings_);
    MsgBox(platform_,
           QStringLiteral("Self-Optimizing not possible!") + nl +
               QStringLiteral("Actual Temperature X must be at least") + nl + QStringLiteral("(") +
               Plain(RoundDigits(margin, 0)) + QStringLiteral(" + X)°C below Setpoint W at the") +
               nl + QStringLiteral("beginning of the self optimizing process...") + nl + nl +
               QStringLiteral("Actual Temperature X:") + BlankSignedWord(X) +
               (X != kNoValue ? QStringLiteral("°C") : QString()) + nl +
               QStringLiteral("Setpoint W:          ") + BlankSigned(W) + QStringLiteral("°C") + nl,
           MsgButtons::Ok, MsgIcon::None, QStringLiteral("OVX"));
    form.setStatusLine(ready);
    return;
  }

  const MsgAnswer answer =
      MsgBox(platform_,
             QStringLiteral("Execute Self-Optimizing") + nl + QStringLiteral("for Setpoint") +
                 BlankSigned(W) + QStringLiteral("°C now?"),
             MsgButtons::OkCancel, MsgIcon::Question, QStringLiteral("Self-Optimizing"));
  // The operator may have been away from the box while an alarm came.
  if (answer != MsgAnswer::Ok || stoppedByAlarm_) {
    form.setStatusLine(ready);
    return;
  }

  OperationEvent run(OperationEvent::Kind::RunStarted, OperationEvent::Run::SelfOptimizing);
  run.setpoint = W;
  run.words = commands_.DataBlock;
  post(run);
  commands_.DataBlock[kChannel] = 0;
  commands_.DataBlock[kDry] = 0;
  commands_.DataBlock[kHeaterOutput] = 1;
  commands_.DataBlock[kOptimize1] = 1;
  commands_.DataBlock[kOptimize2] = 1;
  commands.SendDataBlock();
  OperationEvent started(OperationEvent::Kind::SelfOptimizingStarted);
  started.setpoint = W;
  post(started);
  commands.GetDataBlock(true);
  form.ShowHeaterStatus();

  form.setMenusEnabled(false);
  CenterForm(platform_, &form);
  form.BtnCancel->setVisible(true);
  form.CancelFlag = false;

  const QString progress =
      QStringLiteral("Self-Optimizing for") + BlankSigned(W) + QStringLiteral("°C in progress...");
  for (;;) {
    form.setStatusLine(progress);
    platform_.processEvents();
    // The alarm cancels as the operator does; it may come before the
    // polling clears the flag.
    if (form.CancelFlag || stoppedByAlarm_) {
      if (!stoppedByAlarm_) post(OperationEvent(OperationEvent::Kind::OperatorCancel));
      commands.GetDataBlock(true);
      SwitchHeaterOutput(false);
      form.BtnCancel->setVisible(false);
      form.setMenusEnabled(true);
      form.setStatusLine(ready);
      post(runEnded(OperationEvent::Run::SelfOptimizing));
      return;
    }
    commands.GetValueBlock(true);
    if (commands_.Values.OptimizationStatus == 0) break;
  }

  // Finished: the fields show the terms the controller found.
  commands.GetDataBlock(true);
  OperationEvent finished(OperationEvent::Kind::SelfOptimizingFinished);
  finished.pid = {commands_.DataBlock[kPTerm], commands_.DataBlock[kITerm],
                  commands_.DataBlock[kDTerm]};
  post(finished);
  BeepIfSound(platform_, settings_);
  form.OKFlag = false;
  WaitForSteadyState(W);
  post(runEnded(OperationEvent::Run::SelfOptimizing));
}

}  // namespace ovx
