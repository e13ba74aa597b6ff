// The publisher on the test platform with a recording message client (the
// tests with a real broker are in broker_test.cpp): what it hands over and in
// which order, while the broker is there and while it is away; the states of
// a run; the connection's texts in the window; the [MQTT] settings and the
// boxes of those that cannot be used.
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QStatusBar>

#include "support/harness.h"
#include "trun/frmtrun.h"

namespace ovx::test {
namespace {

QByteArray MqttIni(const char* mqtt = "Broker=broker.lab:1884\r\n", const char* ini = kTestIni) {
  return QByteArray(ini) + "[MQTT]\r\n" + mqtt;
}

QString Text(const BrokerMessage& m) {
  return QString("%1 q%2%3 %4").arg(m.topic).arg(m.qos).arg(m.retain ? " r" : "", m.payload);
}

// A value of a JSON payload, by its path ("operation.phase").
QJsonValue Field(const QByteArray& payload, const QString& path) {
  QJsonValue value = QJsonDocument::fromJson(payload).object();
  for (const QString& key : path.split('.')) value = value.toObject().value(key);
  return value;
}

// With a broker the frames are those without; without one there is no
// client and no bar in the window.
TEST(Publisher, ChangesNothingOnTheLine) {
  std::vector<QByteArray> frames[2];
  for (const bool mqtt : {false, true}) {
    const QByteArray ini = mqtt ? MqttIni() : QByteArray(kTestIni);
    Harness h(kScripted, Block(900), ini.constData());
    h.form().ops().SwitchHeaterOutput(true);
    h.form().ops().SwitchHeaterOutput(false);
    frames[mqtt] = h.sent();
    EXPECT_EQ(h.platform.messageClient != nullptr, mqtt);
    EXPECT_EQ(h.form().findChild<QStatusBar*>() != nullptr, mqtt);
  }
  EXPECT_EQ(frames[0], frames[1]);
}

// Events while the broker is away wait, the oldest dropped beyond 1000; on
// the connection the count of the dropped goes first, then those kept in
// order, the removal of Home Assistant's configs and the state. The texts of
// the connection go to the window, and new ones to the trace.
TEST(Publisher, EventsWaitForTheBrokerInOrder) {
  const QByteArray ini = MqttIni();
  Harness h(kScripted, Block(900, 48, 8, 2), ini.constData());
  TestMessageClient& client = *h.platform.messageClient;
  EXPECT_TRUE(QRegularExpression("^ovx-testhost-[0-9a-f]{8}-loop1$")
                  .match(client.options.clientId)
                  .hasMatch());

  const QString trace = h.form().statusText();
  client.onState(MessageClient::State::Failed, "Connection refused", 3);
  client.onState(MessageClient::State::Connecting, "", 0);
  client.onState(MessageClient::State::Failed, "Connection refused", 6);
  EXPECT_EQ(h.form().brokerStatus(), "MQTT: broker.lab:1884: Connection refused; next try in 6 s");
  for (int i = 0; i < 1002; ++i) {
    OperationEvent e(OperationEvent::Kind::SetpointWritten);
    e.setpoint = static_cast<int16_t>(i);
    h.form().ops().post(e);
  }
  EXPECT_TRUE(client.published.empty());
  h.platform.t += 0.5;
  client.onState(MessageClient::State::Connected, "", 0);
  EXPECT_EQ(h.form().brokerStatus(), "MQTT: connected to broker.lab:1884");
  EXPECT_EQ(h.form().statusText(), trace +
                                       "MQTT: broker.lab:1884: Connection refused\r\n"
                                       "MQTT: connected to broker.lab:1884\r\n");

  const auto& handed = client.published;
  ASSERT_EQ(handed.size(), 1 + 1000 + 5 + 1u);
  EXPECT_EQ(
      Text(handed[0]),
      "ovx/testhost-loop1/event q1 {\"dropped\":2,\"kind\":\"EventsDropped\",\"text\":\"2 "
      "events dropped while the broker was away\",\"time\":\"2026-12-06T14:03:27.700-03:30\"}");
  EXPECT_EQ(Text(handed[1]),
            "ovx/testhost-loop1/event q1 {\"kind\":\"SetpointWritten\",\"setpoint\":2,\"text\":"
            "\"setpoint 2 °C\",\"time\":\"2026-12-06T14:03:27.200-03:30\"}");
  EXPECT_EQ(Field(handed[1000].payload, "setpoint"), 1001);
  // Home Assistant is off: its configs, if any, go.
  QStringList configs;
  for (size_t i = 1001; i < 1006; ++i) configs << Text(handed[i]);
  EXPECT_EQ(configs.join('|'),
            "homeassistant/sensor/ovx_testhost-loop1/X/config q1 r |"
            "homeassistant/sensor/ovx_testhost-loop1/W/config q1 r |"
            "homeassistant/binary_sensor/ovx_testhost-loop1/heater/config q1 r |"
            "homeassistant/sensor/ovx_testhost-loop1/alarm/config q1 r |"
            "homeassistant/sensor/ovx_testhost-loop1/step/config q1 r ");
  EXPECT_EQ(handed[1006].topic, "ovx/testhost-loop1/state");
  EXPECT_TRUE(handed[1006].retain);
}

// The watch's alarm: an event with the values its text names, after the
// reading that raised it (every state with the alarm has that X); in the
// state until it is acknowledged, also once its condition no longer holds.
TEST(Publisher, AlarmInTheStateUntilAcknowledged) {
  const QByteArray ini =
      MqttIni("Broker=lab\r\n[Watch]\r\nEnabled=1\r\nInterval=2\r\nOverTemperature=1220\r\n");
  Harness h(kScripted, Block(900), ini.constData());
  TestMessageClient& client = *h.platform.messageClient;
  client.onState(MessageClient::State::Connected, "", 0);
  const auto alarm = [&] {
    const QJsonValue value = Field(h.program().publisher->statePayload(), "alarm");
    return value.isNull() ? QByteArray("null")
                          : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
  };
  // Readings two seconds apart: each one's state goes out at once.
  h.controller.values.ActualTemperature = 900;
  h.platform.idle(3);
  h.controller.values.ActualTemperature = 1236;
  h.platform.idle(3);
  QByteArray raised;
  int states = 0;
  for (const BrokerMessage& m : client.published) {
    if (Field(m.payload, "kind") == "AlarmRaised") raised = m.payload;
    if (!m.topic.endsWith("/state") || Field(m.payload, "alarm").isNull()) continue;
    EXPECT_EQ(Field(m.payload, "X"), 1236) << m.payload.toStdString();
    ++states;
  }
  EXPECT_GE(states, 1);
  const QString since = Field(raised, "time").toString();
  const QString text = "alarm: over-temperature, X 1236 °C above 1220 °C; heater switched off";
  EXPECT_EQ(raised,
            "{\"X\":1236,\"alarm\":\"over-temperature\",\"heaterOff\":true,\"kind\":"
            "\"AlarmRaised\",\"limit\":1220,\"text\":\"" +
                text + "\",\"time\":\"" + since + "\"}");
  const QString held = "{\"condition\":\"over-temperature\",\"holds\":%1,\"since\":\"" + since +
                       "\",\"text\":\"" + text + "\"}";
  EXPECT_EQ(alarm(), held.arg("true"));
  OperationEvent cleared(OperationEvent::Kind::AlarmCleared);
  cleared.alarm = Alarm::OverTemperature;
  h.form().ops().post(cleared);
  EXPECT_EQ(alarm(), held.arg("false"));
  h.form().ops().post(OperationEvent(OperationEvent::Kind::AlarmAcknowledged));
  EXPECT_EQ(alarm(), "null");
}

// A run's states: at most one a second, and none left behind; the operation
// as the state tells it two seconds into the first dwell.
TEST(Publisher, StatesOfARunAtMostOneASecond) {
  struct Tap : OperationListener {
    std::function<void(const OperationEvent&)> on;
    void eventPosted(const OperationEvent& e) override { on(e); }
  } tap;
  const QByteArray ini = MqttIni("Broker=lab\r\n", kDirIni);
  Harness h(kScripted, Block(900, 48, 8, 2), ini.constData());
  TestMessageClient& client = *h.platform.messageClient;
  client.onState(MessageClient::State::Connected, "", 0);
  h.controller.beforeValueRead = [&](int) {
    h.controller.values.ActualTemperature = h.controller.words[kSetpoint];
  };
  QByteArray inDwell;
  tap.on = [&](const OperationEvent& e) {
    if (e.kind == OperationEvent::Kind::SteadyReached && inDwell.isEmpty())
      h.platform.at(h.platform.t + 2, [&] { inDwell = h.program().publisher->statePayload(); });
  };
  h.program().recorder.addListener(&tap);
  h.program().OpenTemperatureRun();
  frmTRun& run = *h.program().temperatureRun();
  run.TStart->setText("900");
  run.TStop->setText("930");
  run.TStep->setText("30");
  run.DwellTime->setText("5");
  h.platform.answers.push_back(MsgAnswer::Ok);
  run.BtnStart_Click();
  h.program().recorder.removeListener(&tap);
  h.platform.idle(1);

  std::vector<double> times;
  QByteArray last;
  for (size_t i = 0; i < client.published.size(); ++i) {
    if (!client.published[i].topic.endsWith("/state")) continue;
    if (!times.empty()) {
      EXPECT_GE(client.times[i] - times.back(), 1.0) << i;
    }
    times.push_back(client.times[i]);
    last = client.published[i].payload;
  }
  EXPECT_GE(times.size(), 8u) << "states all through the run";
  EXPECT_EQ(last, h.program().publisher->statePayload());
  EXPECT_EQ(Field(last, "operation"), QJsonValue());
  EXPECT_EQ(QJsonDocument(Field(inDwell, "operation").toObject()).toJson(QJsonDocument::Compact),
            "{\"T\":900,\"dwellLeft\":3,\"kind\":\"temperature run\",\"log\":"
            "\"2026-12-06_14-03-27_run.csv\",\"phase\":\"dwell\",\"step\":1}");
  EXPECT_EQ(QString("%1 %2 %3 %4")
                .arg(Field(inDwell, "X").toInt())
                .arg(Field(inDwell, "heater").toInt())
                .arg(Field(inDwell, "link.status").toString(), Field(inDwell, "alarm").toString()),
            "900 1 ok ");
  // A word that did not decode is no number.
  Reading undecodable{h.platform.t, BlockKind::Value, Outcome::Answered, {}, {}};
  undecodable.values.ActualTemperature = kNoValue;
  h.program().publisher->readingTaken(undecodable);
  EXPECT_EQ(Field(h.program().publisher->statePayload(), "X"), QJsonValue());
}

// [MQTT] as read, and the "Settings File" box for what cannot be used
// ({dir} is the settings folder, | a line break).
TEST(Publisher, MqttSettingsAndTheirBoxes) {
  const QString file = "Unable to use file '{dir}/%1'|of '%2' in Section [MQTT] of {dir}/ovx.ini:|";
  const QString invalid = "Invalid value '%1' of '%2'|in Section [MQTT] of {dir}/ovx.ini|";
  const QString privately =
      "A password file must be your own and readable by you alone (chmod 600).";
  const struct {
    const char* mqtt;
    int passwordMode;  // of the file "pw", when there is one
    QString expected;  // the settings read, or the box
  } cases[] = {
      {"Broker=lab\r\n", 0, "lab 1883 ovx/testhost-loop1 - - - 0"},
      {"Broker=[::1]:8883\r\nTopic=lab/f1//\r\nClientId=f1\r\nHomeAssistant=1\r\n"
       "CAFile=ca.pem\r\nCertFile={dir}/ca.pem\r\nKeyFile=ca.pem\r\n",
       0, "::1 8883 lab/f1 f1 - - 1 {dir}/ca.pem {dir}/ca.pem {dir}/ca.pem"},
      {"Broker=lab:1\r\nUsername=u\r\nPasswordFile=pw\r\n", 0600,
       "lab 1 ovx/testhost-loop1 - u secret 0"},
      {"Broker=lab:65536\r\n", 0,
       invalid.arg("lab:65536", "Broker") +
           "A host name or address, with :port (1 ... 65535) or not."},
      {"Broker=lab\r\nTopic=ovx/+/f1\r\n", 0,
       invalid.arg("ovx/+/f1", "Topic") + "A topic prefix such as ovx/furnace-1, without + and #."},
      {"Broker=lab\r\nPasswordFile=pw\r\n", 0600,
       invalid.arg("", "Username") + "A user name goes with the 'PasswordFile'."},
      {"Broker=lab\r\nUsername=u\r\nPasswordFile=pw\r\n", 0640,
       file.arg("pw", "PasswordFile") + "readable by others (mode 640)|" + privately},
      {"Broker=lab\r\nUsername=u\r\nPasswordFile=pw\r\n", 0,
       file.arg("pw", "PasswordFile") + "No such file or directory|" + privately},
      {"Broker=lab\r\nCertFile=ca.pem\r\nKeyFile=ca.pem\r\n", 0,
       invalid.arg("ca.pem", "CertFile") +
           "'CertFile' and 'KeyFile' go together, with a 'CAFile'."},
      {"Broker=lab\r\nCAFile=none.pem\r\n", 0,
       file.arg("none.pem", "CAFile") + "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mqtt);
    const QByteArray ini = MqttIni(c.mqtt);
    Harness h(ini.constData());
    const QString dir = h.platform.dir();
    QFile(dir + "/ca.pem").open(QIODevice::WriteOnly);
    if (c.passwordMode) {
      QFile pw(dir + "/pw");
      ASSERT_TRUE(pw.open(QIODevice::WriteOnly) && pw.write("secret\r\nnot this\r\n") > 0);
      ASSERT_TRUE(pw.setPermissions(QFileDevice::Permissions(
          (c.passwordMode & 0600 ? QFileDevice::ReadOwner | QFileDevice::WriteOwner : 0) |
          (c.passwordMode & 040 ? QFileDevice::ReadGroup : 0))));
    }
    const QString expected = QString(c.expected).replace("{dir}", dir);
    if (!expected.contains('|')) {
      ASSERT_TRUE(h.start());
      const MqttSettings& m = h.program().mqtt;
      const QStringList read{
          m.broker.host,
          QString::number(m.broker.port),
          m.topic,
          m.broker.clientId.startsWith("ovx-testhost-") ? "-" : m.broker.clientId,
          m.broker.username.isEmpty() ? "-" : m.broker.username,
          m.broker.password.isNull() ? "-" : m.broker.password,
          QString::number(m.homeAssistant),
          m.broker.caFile + " " + m.broker.certFile + " " + m.broker.keyFile};
      EXPECT_EQ(read.join(' ').trimmed(), expected);
      continue;
    }
    h.platform.answers = {MsgAnswer::Ok};
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.endStatus, 1);
    EXPECT_TRUE(OnlyBox(h.platform, QString(expected).replace("|", "\r\n"), "Settings File",
                        MsgButtons::Ok, MsgIcon::None));
  }
}

}  // namespace
}  // namespace ovx::test
