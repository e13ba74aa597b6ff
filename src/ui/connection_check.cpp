// The connection check at start and at quit.
#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx {

Outcome Operations::checkConnection(bool showMessages) {
  for (;;) {
    commands_.GetDataBlock(false);
    const Outcome outcome = commands_.lastOutcome();
    if (settings_.Debug) {
      form_.appendStatusText(QStringLiteral("Datablock (control loop") +
                             BlankSigned(settings_.ControlLoopNumber) + QStringLiteral("):") +
                             CRLF + ListDataBlock(commands_.DataBlock));
    }
    if (outcome == Outcome::Answered) {
      form_.ShowHeaterStatus();
      break;
    }
    if (outcome == Outcome::WrongLength) {
      if (showMessages) {
        BeepIfSound(platform_, settings_);
        MsgBox(platform_,
               QStringLiteral("Invalid response from frmOVX") + CRLF + CRLF +
                   QStringLiteral("Try to increase the value of 'TxDelay'") + CRLF +
                   QStringLiteral("in Section [COM] of ") + settings_.WindowsDir +
                   QStringLiteral("ovx.ini"),
               MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("OVX-Check"));
      }
      return outcome;
    }
    if (!showMessages) break;
    BeepIfSound(platform_, settings_);
    // Nothing came back; or 116 characters that are no data block, which a
    // longer delay cannot mend, but another try may.
    const QString text =
        outcome == Outcome::NoAnswer
            ? QStringLiteral("No response from frmOVX") + CRLF + CRLF +
                  QStringLiteral("Please check the following:") + CRLF + CRLF +
                  QStringLiteral("     - the OVX is switched on") + CRLF +
                  QStringLiteral("     - the OVX is is connected to COM") +
                  QString::number(settings_.Port) + CRLF +
                  QStringLiteral("     - the control loop number [display Nº]") + CRLF +
                  QStringLiteral("       of the first control channel is set to ") +
                  QString::number(settings_.ControlLoopNumber) + QStringLiteral(".")
            : QStringLiteral("Invalid response from frmOVX") + CRLF + CRLF +
                  QStringLiteral("The answer is not a valid data block.") + CRLF +
                  QStringLiteral("Please check the connection to COM") +
                  QString::number(settings_.Port) + QStringLiteral(".");
    const MsgAnswer answer = MsgBox(platform_, text, MsgButtons::RetryCancel, MsgIcon::Exclamation,
                                    QStringLiteral("OVX-Check"), MsgAnswer::Retry);
    if (answer != MsgAnswer::Retry) {
      link_.ClearReceiveBuffer(QStringLiteral("OVX_Check () [End]"));
      return outcome;
    }
  }
  link_.ClearReceiveBuffer(QStringLiteral("OVX_Check () [End]"));
  return commands_.lastOutcome();
}

int Operations::OVX_Check(bool ShowMessages) {
  switch (checkConnection(ShowMessages)) {
    case Outcome::Answered:
      return -1;
    case Outcome::WrongLength:
    case Outcome::NotABlock:
    case Outcome::Corrupted:
      return 3;
    case Outcome::NoAnswer:
      break;
  }
  return 1;
}

void Operations::StartupCheck() {
  link_.ClearReceiveBuffer(QStringLiteral("OVX.Load"));
  if (OVX_Check(true) != -1) platform_.endProgram(1);
}

void Operations::QuitCheck(bool& Cancel) {
  // A whole answer spoilt on the line still shows that the controller is
  // there, with its heater perhaps on: the retried read decides.
  const Outcome outcome = checkConnection(false);
  if (outcome != Outcome::Answered && outcome != Outcome::NotABlock &&
      outcome != Outcome::Corrupted)
    return;
  commands_.GetDataBlock(true);
  if (commands_.DataBlock[kHeaterOutput] == 0) return;
  BeepIfSound(platform_, settings_);
  const MsgAnswer answer = MsgBox(
      platform_,
      QStringLiteral("ATTENTION:") + CRLF + QStringLiteral("The heater output is still ON!") +
          CRLF + CRLF + QStringLiteral("Do you really want to quit?"),
      MsgButtons::OkCancel, MsgIcon::None, QString(), MsgAnswer::Cancel);
  if (answer != MsgAnswer::Ok) Cancel = true;
}

void Operations::post(OperationEvent event) {
  event.time = platform_.now();
  recorder_.post(event);
}

OperationEvent Operations::runEnded(OperationEvent::Run run) const {
  OperationEvent ended(OperationEvent::Kind::RunEnded, run);
  ended.byAlarm = stoppedByAlarm_;
  return ended;
}

}  // namespace ovx
