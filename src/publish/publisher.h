// The furnace on a message broker (MQTT), read-only. Under the topic prefix:
//   status  "online" (retained) on every connection; "offline" as the will
//           and at the end of the program
//   state   one JSON object with everything known now (retained, at most
//           once a second)
//   event   one JSON object per event of the operations (QoS 1, in order)
// and, when asked for, Home Assistant discovery configs.
//
// The publisher listens to the link and the operations like the trend and
// the run log do, and hands its messages to the platform's message client,
// which works on its own thread: nothing here waits for the network. Events
// that come while the broker is away wait here, the oldest dropped beyond
// kQueueLimit, and go out after the reconnect behind a count of those
// dropped.
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <deque>
#include <functional>
#include <memory>

#include "link/listener.h"
#include "platform/message_client.h"
#include "platform/platform.h"
#include "publish/mqtt_settings.h"
#include "record/events.h"
#include "record/run_log.h"

namespace ovx {

class Publisher : public LinkListener, public OperationListener {
 public:
  // Events kept while the broker is away.
  static constexpr size_t kQueueLimit = 1000;
  // Shortest time between two states, in seconds.
  static constexpr double kStateInterval = 1;
  // Home Assistant shows a value as unavailable when no state came for this long.
  static constexpr int kExpireAfter = 600;

  // `runLog` names the log of a run in its start and end events.
  Publisher(Platform& platform, const MqttSettings& settings, const RunLog& runLog);

  // Creates the client and starts connecting, in the background.
  void start();
  // Told of each change of the connection: the text for the window, and the
  // line for the trace (a connection, and each new reason of a failure;
  // empty when there is none).
  std::function<void(const QString& text, const QString& trace)> onStatus;

  void readingTaken(const Reading& reading) override;
  void dataBlockSent(const DataBlockWords& words, bool fromMemory) override;
  void eventPosted(const OperationEvent& event) override;

  // The payload of the state as it is now.
  QByteArray statePayload() const;

 private:
  QString topic(const char* leaf) const { return settings_.topic + QLatin1Char('/') + leaf; }
  void clientState(MessageClient::State state, const QString& reason, double retryIn);
  void message(const QString& topic, const QByteArray& payload);
  // Something in the state changed: it goes out now, or when a second has
  // passed since the last one.
  void changed();
  void publishState();
  void publishEvent(const QJsonObject& event);
  // The discovery configs, or empty ones that remove them.
  void publishDiscovery(bool present);
  void updateOperation(const OperationEvent& event);
  void updateAlarm(const OperationEvent& event);
  QJsonValue operationJson() const;
  QString now() const;

  Platform& platform_;
  const MqttSettings settings_;
  const RunLog& runLog_;
  std::unique_ptr<MessageClient> client_;
  std::unique_ptr<Timer> stateTimer_;
  bool connected_ = false;
  QString traced_;                  // the last text for the trace
  std::deque<QByteArray> waiting_;  // events while the broker is away
  int dropped_ = 0;
  double lastState_ = -1e300;  // program clock

  // What the state tells.
  QString time_;  // of the newest reading or event
  QJsonValue X_, W_, heater_, optimization_, output_, P_, I_, D_;
  QJsonValue linkStatus_, lastGood_;
  // The watch's newest alarm not yet acknowledged: {"condition", "text",
  // "since", "holds"}, or null.
  QJsonValue alarm_;

  // The operation in progress.
  bool running_ = false;
  OperationEvent::Run run_ = OperationEvent::Run::Temperature;
  int step_ = 0;
  QJsonValue T_;
  QString phase_;
  int dwell_ = 0;
  double dwellDone_ = 0;    // seconds of the dwell counted at dwellSince_
  double dwellSince_ = 0;   // program clock
  double resumedDone_ = 0;  // of a resumed step's dwell, done before the gap
  QString log_;             // file name of its run log
};

}  // namespace ovx
