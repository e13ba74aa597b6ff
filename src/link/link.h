// The byte link to the controller: one command out, whatever came back in.
// It reports each step to its listeners and draws nothing itself.
#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "link/listener.h"
#include "platform/platform.h"
#include "protocol/settings.h"

namespace ovx {

class Link {
 public:
  Link(Platform& platform, const Settings& settings) : platform_(platform), settings_(settings) {}

  // The port the link talks through; none until the program opens it.
  void setPort(SerialPort* port) { port_ = port; }

  // Listeners are told in the order they were added.
  void addListener(LinkListener* listener) { listeners_.push_back(listener); }
  void removeListener(LinkListener* listener) { std::erase(listeners_, listener); }
  template <typename F>
  void notify(F&& tell) {
    // A copy: a listener may join or leave while being told.
    const std::vector<LinkListener*> listeners = listeners_;
    for (LinkListener* listener : listeners) tell(*listener);
  }

  // Writes command + CR LF, then waits TxDelay.
  void SendCommand(const QByteArray& command);
  // Waits RxDelay, then returns everything received so far.
  QByteArray ReceiveResponse();
  // Throws away what is in the receive buffer and reports it under the
  // caller's label.
  void ClearReceiveBuffer(const QString& label);

  // A read that leaves the event loop running, for monitoring between
  // operations: what waits in the receive buffer is thrown away unreported
  // (no box in the background), the request goes out at once, and after
  // TxDelay + RxDelay a timer hands the response to `done`. Until then the
  // read is pending, and any exchange that begins meanwhile completes it
  // first: the controller still sees one request at a time.
  void beginRead(const QByteArray& request, std::function<void(const QByteArray&)> done);
  bool readPending() const { return static_cast<bool>(pendingDone_); }
  // Waits out what is left of the pending read's delays, takes its response
  // and hands it over; nothing when no read is pending.
  void completePendingRead();

  Platform& platform() { return platform_; }
  const Settings& settings() const { return settings_; }

 private:
  Platform& platform_;
  const Settings& settings_;
  SerialPort* port_ = nullptr;
  std::vector<LinkListener*> listeners_;
  std::function<void(const QByteArray&)> pendingDone_;
  double pendingDue_ = 0;
  std::unique_ptr<Timer> pendingTimer_;
};

}  // namespace ovx
