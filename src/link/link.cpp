#include "link/link.h"

#include "app/program.h"
#include "ui/frmovx.h"

namespace ovx {

void Link::SendCommand(const QByteArray& command) {
  p_.platform.setBusyCursor(true);
  // A failed write (a lost port) is no different from a silent controller:
  // the caller sees no answer.
  if (p_.Comm1) p_.Comm1->write(command + "\r\n");
  p_.tools.Delay(p_.g.TxDelay);
  if (p_.g.Debug) {
    frmOVX& form = p_.form();
    if (form.statusText().size() > 500) form.setStatusText(QString());
    form.appendStatusText(QStringLiteral("[CMD>] ") + QString::fromLatin1(command) + p_.g.CRLF);
  }
  p_.platform.setBusyCursor(false);
}

QByteArray Link::ReceiveResponse() {
  p_.tools.Delay(p_.g.RxDelay);
  const QByteArray r = p_.Comm1 ? p_.Comm1->readAll() : QByteArray();
  if (p_.g.Debug) {
    p_.form().appendStatusText(QStringLiteral("[") + QString::number(r.size()) +
                               QStringLiteral(" char's from OVX>] ") + QString::fromLatin1(r) +
                               p_.g.CRLF);
  }
  return r;
}

void Link::ClearReceiveBuffer(const QString& label) {
  const QByteArray r = p_.Comm1 ? p_.Comm1->readAll() : QByteArray();
  if (p_.g.Debug && !r.isEmpty())
    p_.MsgBox(LeftoverReport(r), MsgButtons::Ok, MsgIcon::None, label);
}

QString Link::LeftoverReport(const QByteArray& r) {
  const QString crlf = QStringLiteral("\r\n");
  QString text = QStringLiteral("Receive buffer contained  ") + QString::number(r.size()) +
                 QStringLiteral(" Zeichen:") + crlf + crlf;
  for (qsizetype i = 0; i < r.size(); ++i) {
    const auto code = static_cast<unsigned char>(r[i]);
    text += QLatin1Char(' ') + QString::number(code);
    if (code == 13 || code == 10 || code == 38)
      text += QStringLiteral("[-]");
    else
      text += QLatin1Char('[') + QChar(code) + QLatin1Char(']');
    if ((i + 1) % 10 == 0) text += crlf;
  }
  return text + crlf + crlf + QStringLiteral("Receive buffer cleared...");
}

}  // namespace ovx
