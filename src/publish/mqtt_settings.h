// Section [MQTT] of "ovx.ini": the broker, the topics and the login of the
// publisher. Without a broker nothing is published.
#pragma once

#include <QString>

#include "platform/message_client.h"

namespace ovx {

struct MqttSettings {
  // The broker, the client id, the login (the password null without a
  // password file) and TLS; no host: no broker, nothing published.
  BrokerOptions broker;
  QString topic;  // prefix of this furnace's topics, without a trailing "/"
  bool homeAssistant = false;

  bool enabled() const { return !broker.host.isEmpty(); }
};

}  // namespace ovx
