// The byte link to the controller: one command out, whatever came back in.
// It reports each step to its listeners and draws nothing itself.
#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <exception>
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

  // An exchange with the controller is under way: a block read from its
  // first request to its last answer (retry pauses included), a write, or a
  // monitoring read from its request until its response has been told.
  bool busy() const { return depth_ > 0 || readPending(); }
  // Marks an exchange (they nest); the end of the last one runs the actions
  // that wait for the line (whenIdle).
  void beginExchange() { ++depth_; }
  void endExchange();
  // Runs `action` at once when no exchange is under way, else as soon as the
  // last one has ended, so that it never comes between a request and its
  // answer nor between a read and what the reader does with it.
  void whenIdle(std::function<void()> action);
  // An exchange for the time of a scope. Left by an exception, it runs no
  // waiting action.
  struct Exchange {
    explicit Exchange(Link& link) : link(link) { link.beginExchange(); }
    ~Exchange() noexcept(false) {
      if (std::uncaught_exceptions() > unwinding)
        --link.depth_;
      else
        link.endExchange();
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    Link& link;
    const int unwinding = std::uncaught_exceptions();
  };

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
  int depth_ = 0;
  std::vector<std::function<void()>> waiting_;  // for whenIdle
  // Runs the waiting actions while the line stays free.
  void runWaiting();
};

}  // namespace ovx
