// The controller's self-optimizing run, prepared, supervised and followed by
// the wait for a steady temperature.
#include <QPushButton>

#include "app/numtext.h"
#include "app/program.h"
#include "ui/frmovx.h"
#include "ui/modovx.h"

namespace ovx {

void Operations::menuOVXSelfOptimizing_Click() {
  if (const std::optional<int16_t> W = EnterSetpoint()) SelfOptimizing(*W);
}

void Operations::SelfOptimizing(int16_t W) {
  frmOVX& form = p_.form();
  Globals& g = p_.g;
  Commands& commands = p_.commands;
  const QString& nl = g.CRLF;
  const QString ready = QStringLiteral("Ready");

  form.setStatusLine(QStringLiteral("Preparing for self-optimizing procedure..."));
  commands.GetValueBlock(true);
  commands.GetDataBlock(true);
  const int16_t X = g.Values.ActualTemperature;
  // The span of the setpoint limits; formed in int so that extreme limits
  // cannot overflow.
  const int span = g.DataBlock[kSetpointHigh] - g.DataBlock[kSetpointLow];

  g.DataBlock[kSetpoint] = W;
  commands.SendDataBlock();

  // The run must start well below the setpoint.
  const double margin = 0.2 * span;
  if (!(X + margin <= W)) {
    p_.tools.BeepIfSound();
    p_.MsgBox(
        QStringLiteral("Self-Optimizing not possible!") + nl +
            QStringLiteral("Actual Temperature X must be at least") + nl + QStringLiteral("(") +
            Plain(RoundDigits(margin, 0)) + QStringLiteral(" + X)°C below Setpoint W at the") + nl +
            QStringLiteral("beginning of the self optimizing process...") + nl + nl +
            QStringLiteral("Actual Temperature X:") + BlankSigned(X) + QStringLiteral("°C") + nl +
            QStringLiteral("Setpoint W:          ") + BlankSigned(W) + QStringLiteral("°C") + nl,
        MsgButtons::Ok, MsgIcon::None, QStringLiteral("OVX"));
    form.setStatusLine(ready);
    return;
  }

  const MsgAnswer answer =
      p_.MsgBox(QStringLiteral("Execute Self-Optimizing") + nl + QStringLiteral("for Setpoint") +
                    BlankSigned(W) + QStringLiteral("°C now?"),
                MsgButtons::OkCancel, MsgIcon::Question, QStringLiteral("Self-Optimizing"));
  if (answer != MsgAnswer::Ok) {
    form.setStatusLine(ready);
    return;
  }

  g.DataBlock[kChannel] = 0;
  g.DataBlock[kDry] = 0;
  g.DataBlock[kHeaterOutput] = 1;
  g.DataBlock[kOptimize1] = 1;
  g.DataBlock[kOptimize2] = 1;
  commands.SendDataBlock();
  commands.GetDataBlock(true);
  form.ShowHeaterStatus();

  form.setMenusEnabled(false);
  p_.tools.CenterForm(&form);
  form.BtnCancel->setVisible(true);
  g.CancelFlag = false;

  const QString progress =
      QStringLiteral("Self-Optimizing for") + BlankSigned(W) + QStringLiteral("°C in progress...");
  for (;;) {
    form.setStatusLine(progress);
    p_.platform.processEvents();
    if (g.CancelFlag) {
      commands.GetDataBlock(true);
      SwitchHeaterOutput(false);
      form.BtnCancel->setVisible(false);
      form.setMenusEnabled(true);
      form.setStatusLine(ready);
      return;
    }
    commands.GetValueBlock(true);
    if (g.Values.OptimizationStatus == 0) break;
  }

  // Finished: the fields show the terms the controller found.
  commands.GetDataBlock(true);
  p_.tools.BeepIfSound();
  g.OKFlag = false;
  WaitForSteadyState(W);
}

}  // namespace ovx
