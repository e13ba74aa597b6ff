#include "link/link.h"

#include <utility>

#include "link/tools.h"

namespace ovx {

void Link::SendCommand(const QByteArray& command) {
  const Exchange exchange(*this);
  completePendingRead();
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
  const Exchange exchange(*this);
  completePendingRead();
  const QByteArray leftover = port_ ? port_->readAll() : QByteArray();
  if (!leftover.isEmpty()) notify([&](LinkListener& l) { l.leftoversDiscarded(label, leftover); });
}

void Link::beginRead(const QByteArray& request, std::function<void(const QByteArray&)> done) {
  const Exchange exchange(*this);
  completePendingRead();
  if (port_) {
    port_->readAll();
    port_->write(request + "\r\n");
  }
  notify([&](LinkListener& l) { l.frameSent(request); });
  const double delays = static_cast<double>(settings_.TxDelay + settings_.RxDelay);
  pendingDue_ = platform_.now() + delays;
  pendingDone_ = std::move(done);
  if (!pendingTimer_) pendingTimer_ = platform_.createTimer([this] { completePendingRead(); });
  pendingTimer_->start(delays);
}

void Link::completePendingRead() {
  if (!pendingDone_) return;
  const Exchange exchange(*this);
  // Taken first: whatever `done` starts finds no read pending.
  const auto done = std::exchange(pendingDone_, nullptr);
  pendingTimer_->stop();
  Delay(platform_, static_cast<float>(pendingDue_ - platform_.now()));
  const QByteArray response = port_ ? port_->readAll() : QByteArray();
  notify([&](LinkListener& l) { l.responseReceived(response); });
  done(response);
}

void Link::endExchange() {
  --depth_;
  runWaiting();
}

void Link::whenIdle(std::function<void()> action) {
  waiting_.push_back(std::move(action));
  runWaiting();
}

void Link::runWaiting() {
  while (!busy() && !waiting_.empty()) {
    const auto action = waiting_.front();
    waiting_.erase(waiting_.begin());
    action();
  }
}

}  // namespace ovx
