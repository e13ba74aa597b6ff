// The message client on libmosquitto's C API. One network thread per client
// owns the library's handle and does all the talking: connecting (name
// lookup included), the back-off between tries, publishing and the goodbye.
// The program's thread only queues messages for it and hears its news from
// the event loop, so a slow, absent or hostile broker never holds it up.
#pragma once

#include <QObject>
#include <memory>
#include <thread>

#include "platform/message_client.h"

namespace ovx {

class MosquittoClient : public QObject, public MessageClient {
 public:
  MosquittoClient();
  // Closes (at most a second) and tells nothing more.
  ~MosquittoClient() override;

  void start(const BrokerOptions& options) override;
  void publish(const BrokerMessage& message) override;
  void close(double seconds) override;

  // What the network thread and this object share; the thread keeps it
  // alive after a close that could not wait for it.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace ovx
