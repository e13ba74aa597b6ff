#include "publish/publisher.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

#include "record/csv.h"

namespace ovx {
namespace {

using Kind = OperationEvent::Kind;

const char* RunName(OperationEvent::Run run) {
  return run == OperationEvent::Run::SelfOptimizing ? "self-optimizing" : "temperature run";
}

QJsonValue TextOrNull(const QString& text) {
  return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// A word of a block read or written; null when it did not decode.
QJsonValue Word(int16_t word) {
  return word == kNoValue ? QJsonValue() : QJsonValue(word);
}

bool IdCharacter(QChar c) {
  const char l = c.toLatin1();
  return (l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z') || (l >= '0' && l <= '9') || l == '-' ||
         l == '_';
}

// What Home Assistant is told of: its kind of entity, the last part of its
// id, its name and how it finds its value in the state.
struct Entity {
  const char* component;
  const char* id;
  const char* name;
  const char* value;
};
constexpr Entity kEntities[] = {
    {"sensor", "X", "Actual temperature X", "{{ value_json.X }}"},
    {"sensor", "W", "Setpoint W", "{{ value_json.W }}"},
    {"binary_sensor", "heater", "Heater output", "{{ 'ON' if value_json.heater == 1 else 'OFF' }}"},
    {"sensor", "alarm", "Alarm", "{{ value_json.alarm.text if value_json.alarm else 'none' }}"},
    {"sensor", "step", "Run step",
     "{{ value_json.operation.step if value_json.operation and value_json.operation.step "
     "else 'none' }}"},
};

}  // namespace

Publisher::Publisher(Platform& platform, const MqttSettings& settings, const RunLog& runLog)
    : platform_(platform), settings_(settings), runLog_(runLog) {}

void Publisher::start() {
  stateTimer_ = platform_.createTimer([this] {
    if (connected_) publishState();
  });
  client_ = platform_.createMessageClient();
  client_->onState = [this](MessageClient::State state, const QString& reason, double retryIn) {
    clientState(state, reason, retryIn);
  };
  client_->onMessage = [this](const QString& topic, const QByteArray& payload) {
    message(topic, payload);
  };
  BrokerOptions options = settings_.broker;
  options.will = {topic("status"), "offline", 1, true};
  options.birth = {topic("status"), "online", 1, true};
  // Home Assistant says "online" when it starts again, and then wants the
  // configs anew. The only subscription: no command is taken.
  if (settings_.homeAssistant) options.subscriptions << QStringLiteral("homeassistant/status");
  client_->start(options);
  clientState(MessageClient::State::Connecting, {}, 0);
}

QString Publisher::now() const {
  return IsoTime(platform_.wallClock());
}

void Publisher::clientState(MessageClient::State state, const QString& reason, double retryIn) {
  const QString broker =
      settings_.broker.host + QLatin1Char(':') + QString::number(settings_.broker.port);
  connected_ = state == MessageClient::State::Connected;
  QString text, trace;
  switch (state) {
    case MessageClient::State::Connecting:
      text = QStringLiteral("MQTT: connecting to ") + broker + QStringLiteral("…");
      break;
    case MessageClient::State::Connected:
      text = trace = QStringLiteral("MQTT: connected to ") + broker;
      break;
    case MessageClient::State::Failed:
      trace = QStringLiteral("MQTT: ") + broker + QStringLiteral(": ") + reason;
      text = trace + QStringLiteral("; next try in ") + QString::number(retryIn) +
             QStringLiteral(" s");
      break;
  }
  if (trace == traced_) trace.clear();
  if (!trace.isEmpty()) traced_ = trace;
  if (onStatus) onStatus(text, trace);
  if (!connected_) return;

  // The count of the dropped events stands where they stood: before those kept.
  if (dropped_ > 0) {
    publishEvent({{"time", now()},
                  {"kind", "EventsDropped"},
                  {"dropped", dropped_},
                  {"text", QString::number(dropped_) +
                               QStringLiteral(" events dropped while the broker was away")}});
    dropped_ = 0;
  }
  for (const QByteArray& payload : waiting_) client_->publish({topic("event"), payload, 1, false});
  waiting_.clear();
  publishDiscovery(settings_.homeAssistant);
  changed();
}

void Publisher::message(const QString& topic, const QByteArray& payload) {
  if (settings_.homeAssistant && topic == QLatin1String("homeassistant/status") &&
      payload == "online")
    publishDiscovery(true);
}

void Publisher::readingTaken(const Reading& reading) {
  time_ = now();
  if (reading.outcome != Outcome::Answered) {
    linkStatus_ = FailedReadText(reading.outcome == Outcome::NoAnswer);
  } else {
    linkStatus_ = QStringLiteral("ok");
    lastGood_ = time_;
    if (reading.block == BlockKind::Data) {
      dataBlockSent(reading.words, true);
      return;
    }
    X_ = Word(reading.values.ActualTemperature);
    optimization_ = Word(reading.values.OptimizationStatus);
    output_ = Word(reading.values.OutputStatus);
  }
  changed();
}

void Publisher::dataBlockSent(const DataBlockWords& words, bool) {
  // The default parameter set is what the controller then holds, too.
  time_ = now();
  W_ = Word(words[kSetpoint]);
  heater_ = Word(words[kHeaterOutput]);
  P_ = Word(words[kPTerm]);
  I_ = Word(words[kITerm]);
  D_ = Word(words[kDTerm]);
  changed();
}

void Publisher::eventPosted(const OperationEvent& e) {
  time_ = now();
  const bool wasRunning = running_;
  updateOperation(e);
  updateAlarm(e);
  QJsonObject json{{"time", time_}, {"kind", KindName(e.kind)}, {"text", Describe(e)}};
  const auto pid = [&json](const PidSet& set) {
    json["P"] = set.P;
    json["I"] = set.I;
    json["D"] = set.D;
  };
  switch (e.kind) {
    case Kind::RunStarted:
      json["run"] = RunName(e.run);
      if (e.run == OperationEvent::Run::SelfOptimizing) {
        json["setpoint"] = e.setpoint;
      } else {
        json["tStart"] = e.tStart;
        json["tStop"] = e.tStop;
        json["increment"] = e.increment;
        json["dwell"] = e.dwell;
      }
      json["log"] = TextOrNull(log_);
      break;
    case Kind::RunEnded:
      json["run"] = RunName(e.run);
      json["log"] = TextOrNull(log_);
      json["byAlarm"] = e.byAlarm;
      break;
    case Kind::ProgramEnding:
      if (wasRunning) json["log"] = TextOrNull(log_);
      break;
    case Kind::HeaterSwitched:
      json["on"] = e.on;
      json["byAlarm"] = e.byAlarm;
      break;
    case Kind::SetpointWritten:
    case Kind::SelfOptimizingStarted:
      json["setpoint"] = e.setpoint;
      break;
    case Kind::StepStarted:
      json["step"] = step_;
      json["setpoint"] = e.setpoint;
      pid(e.pid);
      json["pidFromFile"] = e.pidFromFile;
      break;
    case Kind::SteadyReached:
      json["average"] = e.average;
      json["stdev"] = e.stdev;
      json["samples"] = e.samples;
      json["seconds"] = e.seconds;
      break;
    case Kind::SelfOptimizingFinished:
      pid(e.pid);
      break;
    case Kind::AlarmRaised:
      // The values that the alarm's text names.
      json["alarm"] = AlarmName(e.alarm);
      if (e.alarm != Alarm::NoAnswer) json["X"] = e.x;
      if (e.alarm != Alarm::NoAnswer) json["limit"] = e.limit;
      if (e.alarm == Alarm::Runaway || e.alarm == Alarm::Deviation) json["setpoint"] = e.setpoint;
      if (e.alarm != Alarm::OverTemperature) json["seconds"] = e.seconds;
      json["heaterOff"] = e.heaterOff;
      break;
    case Kind::AlarmCleared:
      json["alarm"] = AlarmName(e.alarm);
      break;
    case Kind::DwellProgress:
    case Kind::DwellHeld:
    case Kind::DwellContinued:
      // Whole seconds, as the run log's row has them.
      json["seconds"] = std::floor(e.seconds);
      json["dwell"] = e.dwell;
      if (e.kind == Kind::DwellContinued) json["held"] = std::round(e.held);
      break;
    case Kind::RunResumed:
      json["away"] = std::floor(e.away);
      json["step"] = e.step;
      json["setpoint"] = e.setpoint;
      json["nextStep"] = e.nextStep;
      json["log"] = TextOrNull(log_);
      break;
    case Kind::RunNotResumed:
      json["log"] = TextOrNull(log_);
      break;
    default:  // the kind, its time and its text say it all
      break;
  }
  publishEvent(json);
  changed();
}

void Publisher::updateOperation(const OperationEvent& e) {
  const bool temperatureRun = run_ == OperationEvent::Run::Temperature;
  switch (e.kind) {
    case Kind::RunStarted:
      running_ = true;
      run_ = e.run;
      step_ = 0;
      dwell_ = e.dwell;
      resumedDone_ = 0;
      T_ = e.run == OperationEvent::Run::SelfOptimizing ? QJsonValue(e.setpoint) : QJsonValue();
      phase_ = QStringLiteral("start");
      log_ = QFileInfo(runLog_.path()).fileName();
      break;
    case Kind::RunResumed:
    case Kind::RunNotResumed:
      // The run of the log that the start found; resumed, it goes on from its
      // step, in its wait again or with the next step.
      log_ = QFileInfo(runLog_.path()).fileName();
      if (e.kind == Kind::RunNotResumed) break;
      running_ = true;
      run_ = OperationEvent::Run::Temperature;
      dwell_ = e.dwell;
      step_ = e.step;
      T_ = e.setpoint;
      phase_ = e.nextStep ? QStringLiteral("step done") : QStringLiteral("steady-state wait");
      resumedDone_ = e.seconds;
      break;
    case Kind::StepStarted:
      ++step_;
      T_ = e.setpoint;
      phase_ = QStringLiteral("steady-state wait");
      break;
    case Kind::SelfOptimizingStarted:
      phase_ = QStringLiteral("self-optimizing");
      break;
    case Kind::SelfOptimizingFinished:
      phase_ = QStringLiteral("steady-state wait");
      break;
    case Kind::SteadyReached:
    case Kind::OperatorOK:
      // A run's step dwells once its wait ends; OK in the dwell ends the step.
      if (phase_ == QLatin1String("steady-state wait") && temperatureRun) {
        phase_ = QStringLiteral("dwell");
        dwellDone_ = resumedDone_;
        dwellSince_ = e.time;
        resumedDone_ = 0;
      } else {
        phase_ = QStringLiteral("step done");
      }
      break;
    case Kind::DwellDone:
      phase_ = QStringLiteral("step done");
      break;
    case Kind::DwellProgress:
    case Kind::DwellHeld:
    case Kind::DwellContinued:
      // The dwell's own count; held, it stands still.
      phase_ = e.kind == Kind::DwellHeld ? QStringLiteral("dwell held") : QStringLiteral("dwell");
      dwellDone_ = e.seconds;
      dwellSince_ = e.time;
      break;
    case Kind::OperatorCancel:
      phase_ = QStringLiteral("cancelled");
      break;
    case Kind::RunEnded:
    case Kind::ProgramEnding:
      running_ = false;
      break;
    default:
      break;
  }
}

void Publisher::updateAlarm(const OperationEvent& e) {
  switch (e.kind) {
    case Kind::AlarmRaised:
      alarm_ = QJsonObject{{"condition", AlarmName(e.alarm)},
                           {"text", Describe(e)},
                           {"since", time_},
                           {"holds", true}};
      break;
    case Kind::AlarmCleared:
      // The alarm stays until it is acknowledged, also once its condition no longer holds.
      if (alarm_.toObject().value("condition") == AlarmName(e.alarm)) {
        QJsonObject alarm = alarm_.toObject();
        alarm["holds"] = false;
        alarm_ = alarm;
      }
      break;
    case Kind::AlarmAcknowledged:
      alarm_ = QJsonValue();
      break;
    default:
      break;
  }
}

QJsonValue Publisher::operationJson() const {
  if (!running_) return {};
  QJsonObject operation{{"kind", RunName(run_)},
                        {"phase", phase_},
                        {"T", T_},
                        {"dwellLeft", QJsonValue()},
                        {"log", TextOrNull(log_)}};
  if (run_ == OperationEvent::Run::Temperature) operation["step"] = step_;
  if (phase_ == QLatin1String("dwell held"))
    operation["dwellLeft"] = std::max(0.0, std::round(dwell_ - dwellDone_));
  if (phase_ == QLatin1String("dwell"))
    operation["dwellLeft"] =
        std::max(0.0, std::round(dwell_ - dwellDone_ - (platform_.now() - dwellSince_)));
  return operation;
}

QByteArray Publisher::statePayload() const {
  const QJsonObject state{{"time", TextOrNull(time_)},
                          {"X", X_},
                          {"W", W_},
                          {"heater", heater_},
                          {"optimization", optimization_},
                          {"output", output_},
                          {"P", P_},
                          {"I", I_},
                          {"D", D_},
                          {"link", QJsonObject{{"status", linkStatus_}, {"lastGood", lastGood_}}},
                          {"operation", operationJson()},
                          {"alarm", alarm_}};
  return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

void Publisher::changed() {
  if (!connected_ || stateTimer_->active()) return;
  const double since = platform_.now() - lastState_;
  if (since >= kStateInterval)
    publishState();
  else
    stateTimer_->start(kStateInterval - since);
}

void Publisher::publishState() {
  lastState_ = platform_.now();
  client_->publish({topic("state"), statePayload(), 0, true});
}

void Publisher::publishEvent(const QJsonObject& event) {
  const QByteArray payload = QJsonDocument(event).toJson(QJsonDocument::Compact);
  if (connected_) {
    client_->publish({topic("event"), payload, 1, false});
    return;
  }
  waiting_.push_back(payload);
  if (waiting_.size() > kQueueLimit) {
    waiting_.pop_front();
    ++dropped_;
  }
}

void Publisher::publishDiscovery(bool present) {
  // Node and object ids take letters, digits, "_" and "-" only.
  QString node = settings_.topic;
  for (QChar& c : node)
    if (!IdCharacter(c)) c = QLatin1Char('_');
  const QJsonObject device{{"identifiers", QJsonArray{node}},
                           {"name", QStringLiteral("OVX 7316 ") + settings_.topic},
                           {"model", "OVX 7316"},
                           {"manufacturer", "KALVEN"}};
  for (const Entity& e : kEntities) {
    const QString id = QLatin1String(e.id);
    QJsonObject config{{"name", e.name},
                       {"unique_id", node + QLatin1Char('_') + id},
                       {"state_topic", topic("state")},
                       {"value_template", e.value},
                       {"availability_topic", topic("status")},
                       {"expire_after", kExpireAfter},
                       {"device", device}};
    if (id == QLatin1String("X") || id == QLatin1String("W")) {
      config["unit_of_measurement"] = QStringLiteral("°C");
      config["device_class"] = "temperature";
      config["state_class"] = "measurement";
    }
    if (id == QLatin1String("heater")) config["device_class"] = "power";
    // An empty retained config removes the entity.
    client_->publish({QStringLiteral("homeassistant/") + e.component + QLatin1Char('/') + node +
                          QLatin1Char('/') + id + QStringLiteral("/config"),
                      present ? QJsonDocument(config).toJson(QJsonDocument::Compact) : QByteArray(),
                      1, true});
  }
}

}  // namespace ovx
