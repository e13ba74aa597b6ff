// Section [MQTT] of "ovx.ini": the broker, the topics and the login of the
// publisher. Without a broker nothing is published.
#pragma once

#include <QByteArray>
#include <QString>

namespace ovx {

struct MqttSettings {
  QString host;  // empty: no broker, nothing published
  int port = 1883;
  QString topic;  // prefix of this furnace's topics, without a trailing "/"
  QString clientId;
  QString username;           // none when empty
  QByteArray password;        // null without a password file
  QString caFile;             // TLS with this CA; none when empty
  QString certFile, keyFile;  // a client certificate and its key
  bool homeAssistant = false;

  bool enabled() const { return !host.isEmpty(); }
};

}  // namespace ovx
