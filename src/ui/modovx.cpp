#include "ui/modovx.h"

#include "app/numtext.h"
#include "app/program.h"
#include "link/codec.h"
#include "ui/frmovx.h"

namespace ovx {

namespace {

// Nothing came back: only NUL characters (or nothing at all), or just the
// nine characters of our own request echoed by the line.
bool countsAsEmpty(const QByteArray& r) {
  if (r.size() == 9) return true;
  for (char c : r)
    if (c != '\0') return false;
  return true;
}

}  // namespace

int Operations::OVX_Check(bool ShowMessages) {
  Globals& g = p_.g;
  int result = 1;
  for (;;) {
    const QByteArray r = p_.commands.GetDataBlock(false);
    if (g.Debug) {
      p_.form().appendStatusText(QStringLiteral("Datablock (control loop") +
                                 BlankSigned(g.ControlLoopNumber) + QStringLiteral("):") + g.CRLF +
                                 ListDataBlock(g.DataBlock));
    }
    if (!countsAsEmpty(r)) {
      if (ValidResponse(r)) {
        result = -1;
        p_.form().ShowHeaterStatus();
        break;
      }
      if (ShowMessages) {
        p_.tools.BeepIfSound();
        p_.MsgBox(QStringLiteral("Invalid response from frmOVX") + g.CRLF + g.CRLF +
                      QStringLiteral("Try to increase the value of 'TxDelay'") + g.CRLF +
                      QStringLiteral("in Section [COM] of ") + g.WindowsDir +
                      QStringLiteral("ovx.ini"),
                  MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("OVX-Check"));
      }
      return 3;
    }
    if (!ShowMessages) break;
    p_.tools.BeepIfSound();
    const MsgAnswer answer = p_.MsgBox(
        QStringLiteral("No response from frmOVX") + g.CRLF + g.CRLF +
            QStringLiteral("Please check the following:") + g.CRLF + g.CRLF +
            QStringLiteral("     - the OVX is switched on") + g.CRLF +
            QStringLiteral("     - the OVX is is connected to COM") + QString::number(g.Port) +
            g.CRLF + QStringLiteral("     - the control loop number [display Nº]") + g.CRLF +
            QStringLiteral("       of the first control channel is set to ") +
            QString::number(g.ControlLoopNumber) + QStringLiteral("."),
        MsgButtons::RetryCancel, MsgIcon::Exclamation, QStringLiteral("OVX-Check"),
        MsgAnswer::Retry);
    if (answer != MsgAnswer::Retry) break;
  }
  p_.link.ClearReceiveBuffer(QStringLiteral("OVX_Check () [End]"));
  return result;
}

void Operations::StartupCheck() {
  p_.link.ClearReceiveBuffer(QStringLiteral("OVX.Load"));
  if (OVX_Check(true) != -1) p_.platform.endProgram(1);
}

void Operations::QuitCheck(bool& Cancel) {
  if (OVX_Check(false) != -1) return;
  p_.commands.GetDataBlock(true);
  if (p_.g.DataBlock[kHeaterOutput] == 0) return;
  p_.tools.BeepIfSound();
  const QString& nl = p_.g.CRLF;
  const MsgAnswer answer = p_.MsgBox(
      QStringLiteral("ATTENTION:") + nl + QStringLiteral("The heater output is still ON!") + nl +
          nl + QStringLiteral("Do you really want to quit?"),
      MsgButtons::OkCancel, MsgIcon::None, QString(), MsgAnswer::Cancel);
  if (answer != MsgAnswer::Ok) Cancel = true;
}

}  // namespace ovx
