// The byte link to the controller: one command out, whatever came back in.
// It reports each step to its listeners and draws nothing itself.
#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
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

  Platform& platform() { return platform_; }
  const Settings& settings() const { return settings_; }

 private:
  Platform& platform_;
  const Settings& settings_;
  SerialPort* port_ = nullptr;
  std::vector<LinkListener*> listeners_;
};

}  // namespace ovx
