// The client of a message broker (MQTT) that the publisher hands its
// messages to. It works on a thread of its own: no call here waits for the
// network, and what it has to tell comes back on the program's thread, from
// the event loop.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace ovx {

struct BrokerMessage {
  QString topic;
  QByteArray payload;
  int qos = 0;
  bool retain = false;
};

struct BrokerOptions {
  QString host;
  int port = 1883;
  QString clientId;
  QString username;  // none when empty
  QByteArray password;
  // TLS when a CA file is given; a client certificate with its key when both
  // are given.
  QString caFile, certFile, keyFile;
  // The broker publishes `will` when the connection ends without a goodbye;
  // `birth` goes out first on every connection.
  BrokerMessage will, birth;
  // Subscribed to on every connection (QoS 0).
  QStringList subscriptions;
  // Seconds between tries after a failure: the first pause, doubled after
  // each failure up to the longest; a connection restarts it.
  double firstPause = 3, longestPause = 30;
  // Seconds without a word from the broker before the connection counts as lost.
  int keepAlive = 30;
};

class MessageClient {
 public:
  enum class State {
    Connecting,  // a try is under way
    Connected,   // the broker took the login
    Failed,      // the try failed or the connection ended; the next try comes after a pause
  };

  virtual ~MessageClient() = default;

  // Starts connecting in the background, and keeps the connection up.
  virtual void start(const BrokerOptions& options) = 0;
  // Hands the message over and returns at once. Messages go out in the order
  // handed; what is handed while there is no connection waits in the client
  // and goes out, after the birth message, on the next connection.
  virtual void publish(const BrokerMessage& message) = 0;
  // Publishes the will itself, after what waits, says goodbye and ends the
  // connection: the end of the program. Waits at most `seconds` for that.
  virtual void close(double seconds) = 0;

  // Every change of state, with the reason of a failure ("Connection
  // refused", "not authorised", ...) and the seconds to the next try.
  std::function<void(State state, const QString& reason, double retryIn)> onState;
  // A message on one of the subscribed topics.
  std::function<void(const QString& topic, const QByteArray& payload)> onMessage;
};

}  // namespace ovx
