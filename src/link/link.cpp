#include "link/link.h"

#include "link/tools.h"

namespace ovx {

void Link::SendCommand(const QByteArray& command) {
  platform_.setBusyCursor(true);
  // A failed write (a lost port) is no different from a silent controller:
  // the caller sees no answer.
  if (port_) port_->write(command + "\r\n");
  Delay(platform_, settings_.TxDelay);
  notify([&](LinkListener& l) { l.frameSent(command); });
  platform_.setBusyCursor(false);
}

QByteArray Link::ReceiveResponse() {
  Delay(platform_, settings_.RxDelay);
  const QByteArray response = port_ ? port_->readAll() : QByteArray();
  notify([&](LinkListener& l) { l.responseReceived(response); });
  return response;
}

void Link::ClearReceiveBuffer(const QString& label) {
  const QByteArray leftover = port_ ? port_->readAll() : QByteArray();
  if (!leftover.isEmpty()) notify([&](LinkListener& l) { l.leftoversDiscarded(label, leftover); });
}

}  // namespace ovx
