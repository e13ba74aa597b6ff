// The publisher against a real mosquitto that each test starts on a free
// loopback port: the real ovx's presence and its will, the retained state, a
// run's events beside its run log, the events of a gap while the broker was
// down, a refused login, and Home Assistant's configs and their removal.
#include <QDir>
#include <QJsonDocument>
#include <csignal>

#include "support/broker.h"
#include "support/harness.h"
#include "support/sim_process.h"
#include "trun/frmtrun.h"

namespace ovx::test {
namespace {

// A program on the test platform publishing to `broker` through a real
// client, its controller scripted; the test starts it.
std::unique_ptr<Harness> OnBroker(const Broker& broker, const QByteArray& mqtt = {}) {
  const QByteArray ini = QByteArray(kDirIni) +
                         "[MQTT]\r\nBroker=127.0.0.1:" + QByteArray::number(broker.port) +
                         "\r\nTopic=lab/f1\r\n" + mqtt;
  auto h = std::make_unique<Harness>(ini.constData());
  h->platform.realBroker = true;
  h->controller.words = Block(900, 48, 8, 2);
  h->script([h = h.get()](const QByteArray& frame) { return h->controller.answer(frame); });
  return h;
}

bool Connected(Harness& h) {
  return WaitUntil([&] { return h.form().brokerStatus().startsWith("MQTT: connected"); });
}

// Values of a JSON object as "key=value" ("key=" for null); a key may be a
// path ("link.status").
QString Values(const QByteArray& payload, const QStringList& keys) {
  QStringList values;
  for (const QString& path : keys) {
    QJsonValue value = QJsonDocument::fromJson(payload).object();
    for (const QString& key : path.split('.')) value = value.toObject().value(key);
    values << path + "=" + value.toVariant().toString();
  }
  return values.join(' ');
}

// The statuses received, one letter each: "n" online, "f" offline, with "r"
// before a retained one.
QString Statuses(const Subscriber& sub) {
  QString seen;
  for (const Subscriber::Message& m : sub.on("/status"))
    seen += (m.retained ? "r" : "") + QString(m.payload == "online" ? "n" : "f");
  return seen;
}

// The real ovx on ovx-sim: "online" once it is up, "offline" when it ends by
// SIGTERM (its own last word) and when it is killed (the broker's will);
// after the kill a newcomer finds both the status and the state retained.
TEST_F(RealPlatformTest, RealProgramOnlineOfflineAndItsWill) {
  Broker broker;
  ASSERT_TRUE(broker.start());
  const QString folder = platform.windowsDirectory();
  QFile ini(folder + "/ovx.ini");
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write(QString("[General]\nSound=0\nDir=%1/\n[COM]\nTxDelay=0.1\n[MQTT]\nBroker=127.0.0.1:%2\n"
                    "Topic=lab/f1\n")
                .arg(temp.path())
                .arg(broker.port)
                .toUtf8());
  ini.close();
  SimProcess sim;
  ASSERT_TRUE(sim.start(folder + "/com1", {"--pace", "off"}));
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    Subscriber sub;
    ASSERT_TRUE(sub.start(broker, "lab/f1/#", QString("ovx-test-%1").arg(signal)));
    QProcess ovx;
    ovx.start(OVX_BIN_PATH, QStringList());
    // Up, and the start-up read published.
    ASSERT_TRUE(sub.wait([&] {
      const std::vector<Subscriber::Message> state = sub.on("/state");
      return Statuses(sub).endsWith("n") && !state.empty() &&
             Values(state.back().payload, {"link.status"}) == "link.status=ok";
    })) << Statuses(sub).toStdString();
    ::kill(static_cast<pid_t>(ovx.processId()), signal);
    ASSERT_TRUE(ovx.waitForFinished(3000));
    EXPECT_TRUE(sub.wait([&] { return Statuses(sub).endsWith("nf"); }))
        << Statuses(sub).toStdString();
  }
  Subscriber newcomer;
  ASSERT_TRUE(newcomer.start(broker, "lab/f1/#", "ovx-test-newcomer"));
  ASSERT_TRUE(newcomer.wait([&] { return newcomer.messages.size() >= 2; }));
  EXPECT_EQ(Statuses(newcomer), "rf");
  const std::vector<Subscriber::Message> state = newcomer.on("/state");
  ASSERT_EQ(state.size(), 1u);
  EXPECT_TRUE(state[0].retained);
  const DataBlockWords words = sim::ControllerModel().dataBlock();
  EXPECT_EQ(Values(state[0].payload, {"W", "X", "heater", "link.status", "operation"}),
            QString("W=%1 X= heater=%2 link.status=ok operation=")
                .arg(words[kSetpoint])
                .arg(words[kHeaterOutput]));
}

// Each event of a run as one message, in order, with the time and text of
// its row in the run log; the run's start and end name the log.
TEST(Broker, ARunsEventsAsItsLogHasThem) {
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber sub;
  ASSERT_TRUE(sub.start(broker, "lab/f1/event"));
  auto h = OnBroker(broker);
  h->controller.beforeValueRead = [&](int) {
    h->controller.values.ActualTemperature = h->controller.words[kSetpoint];
  };
  ASSERT_TRUE(h->start());
  ASSERT_TRUE(Connected(*h));
  h->setPar("930=P48I8D2\r\n");
  h->program().OpenTemperatureRun();
  frmTRun& run = *h->program().temperatureRun();
  run.TStart->setText("900");
  run.TStop->setText("960");
  run.TStep->setText("30");
  run.DwellTime->setText("5");
  h->platform.answers.push_back(MsgAnswer::Ok);
  run.BtnStart_Click();
  ASSERT_TRUE(sub.wait(
      [&] { return sub.messages.size() > 1 && sub.messages.back().payload.contains("RunEnded"); }));

  const QString name = QDir(h->platform.dir() + "/runs").entryList(QDir::Files).value(0);
  QStringList logged, published;
  for (const QByteArray& line :
       h->platform.readFile(h->platform.dir() + "/runs/" + name)->split('\n')) {
    // time,elapsed_s,W_C,X_C,heater,opt_status,P,I,D,event
    const QList<QByteArray> fields = line.trimmed().split(',');
    if (line.startsWith('#') || fields.size() < 10 || fields[9].isEmpty() || fields[0] == "time")
      continue;
    logged << fields[0] + " " + QString(line.trimmed().split(',').mid(9).join(',')).remove('"');
  }
  QStringList kinds;
  for (const Subscriber::Message& m : sub.messages) {
    published << Values(m.payload, {"time"}).mid(5) + " " + Values(m.payload, {"text"}).mid(5);
    kinds << Values(m.payload, {"kind"}).mid(5);
  }
  EXPECT_EQ(published, logged);
  EXPECT_EQ(kinds.join(' '),
            "RunStarted HeaterSwitched StepStarted SteadyReached DwellDone StepStarted "
            "SteadyReached DwellDone StepStarted SteadyReached DwellDone RunEnded");
  EXPECT_EQ(Values(sub.messages.front().payload, {"log", "tStart", "dwell"}),
            "log=" + name + " tStart=900 dwell=5");
  EXPECT_EQ(Values(sub.messages[5].payload, {"step", "setpoint", "P", "I", "D", "pidFromFile"}),
            "step=2 setpoint=930 P=48 I=8 D=2 pidFromFile=true");
  EXPECT_EQ(Values(sub.messages[3].payload, {"average", "stdev", "samples", "seconds"}),
            "average=900 stdev=0 samples=10 seconds=2");
  EXPECT_EQ(Values(sub.messages.back().payload, {"log", "run"}),
            "log=" + name + " run=temperature run");
}

// The events of the time the broker was down come after its restart, in
// order; the window tells the loss and the new connection.
TEST(Broker, TheEventsOfAGapAfterTheRestart) {
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber sub;  // its session outlives the restart
  ASSERT_TRUE(sub.start(broker, "lab/f1/#", "ovx-test-gap"));
  auto h = OnBroker(broker);
  ASSERT_TRUE(h->start());
  ASSERT_TRUE(Connected(*h));
  h->form().ops().SwitchHeaterOutput(true);
  broker.stop();
  ASSERT_TRUE(WaitUntil([&] { return h->form().brokerStatus().contains("next try in 3 s"); }));
  h->form().ops().SwitchHeaterOutput(false);
  h->form().ops().SwitchHeaterOutput(true);
  ASSERT_TRUE(broker.start());
  ASSERT_TRUE(Connected(*h));
  // At least once: what the broker took but had not acknowledged when it
  // went down may come again, the same to the millisecond.
  QStringList texts;
  ASSERT_TRUE(sub.wait([&] {
    QList<QByteArray> payloads;
    for (const Subscriber::Message& m : sub.on("/event"))
      if (!payloads.contains(m.payload)) payloads << m.payload;
    texts.clear();
    for (const QByteArray& payload : payloads) texts << Values(payload, {"text"});
    return texts.size() >= 3;
  }));
  EXPECT_EQ(texts.join(", "), "text=heater on, text=heater off, text=heater on");
  const QString broker_ = QString("127.0.0.1:%1").arg(broker.port);
  EXPECT_TRUE(h->form().statusText().endsWith(
      "MQTT: connected to " + broker_ + "\r\nMQTT: " + broker_ + ": The connection was lost\r\n" +
      "MQTT: connected to " + broker_ + "\r\n"))
      << h->form().statusText().toStdString();
}

// A login the broker refuses shows in the window, and no box comes; the
// tries go on, each pause twice the last; the right password gets in.
TEST(Broker, ARefusedLoginIsShownWithoutABox) {
  Broker broker("allow_anonymous false\npassword_file {dir}/passwd\n");
  ASSERT_EQ(QProcess::execute("mosquitto_passwd",
                              {"-b", "-c", broker.dir() + "/passwd", "furnace", "right"}),
            0);
  ASSERT_TRUE(broker.start());
  for (const char* password : {"wrong", "right"}) {
    auto h = OnBroker(broker, "Username=furnace\r\nPasswordFile=pw\r\n");
    QFile pw(h->platform.dir() + "/pw");
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly) && pw.write(password) > 0);
    ASSERT_TRUE(pw.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    pw.close();
    ASSERT_TRUE(h->start());
    const QString expected = password == std::string("right")
                                 ? QString("MQTT: connected to 127.0.0.1:%1")
                                 : QString(
                                       "MQTT: 127.0.0.1:%1: Connection Refused: not authorised; "
                                       "next try in 6 s");  // the second: 3 s doubled
    EXPECT_TRUE(WaitUntil([&] { return h->form().brokerStatus() == expected.arg(broker.port); }))
        << h->form().brokerStatus().toStdString();
    EXPECT_TRUE(h->platform.boxes.empty());
  }
}

// Home Assistant's configs, again when it says it is back online, and empty
// ones (which remove them) once the option is off.
TEST(Broker, HomeAssistantConfigsAndTheirRemoval) {
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber sub;
  ASSERT_TRUE(sub.start(broker, "homeassistant/#"));
  {
    auto h = OnBroker(broker, "HomeAssistant=1\r\n");
    ASSERT_TRUE(h->start());
    ASSERT_TRUE(sub.wait([&] { return sub.messages.size() == 5; }));
    EXPECT_EQ(sub.messages[0].topic, "homeassistant/sensor/lab_f1/X/config");
    EXPECT_EQ(
        sub.messages[0].payload,
        "{\"availability_topic\":\"lab/f1/status\",\"device\":{\"identifiers\":[\"lab_f1\"],"
        "\"manufacturer\":\"KALVEN\",\"model\":\"OVX 7316\",\"name\":\"OVX 7316 lab/f1\"},"
        "\"device_class\":\"temperature\",\"expire_after\":600,\"name\":\"Actual temperature "
        "X\",\"state_class\":\"measurement\",\"state_topic\":\"lab/f1/state\",\"unique_id\":"
        "\"lab_f1_X\",\"unit_of_measurement\":\"°C\",\"value_template\":\"{{ value_json.X }}\"}");
    ASSERT_EQ(QProcess::execute("mosquitto_pub", {"-p", QString::number(broker.port), "-t",
                                                  "homeassistant/status", "-m", "online"}),
              0);
    ASSERT_TRUE(sub.wait([&] { return sub.on("/config").size() == 10; }));
  }
  auto h = OnBroker(broker);
  ASSERT_TRUE(h->start());
  ASSERT_TRUE(sub.wait([&] { return sub.on("/config").size() == 15; }));
  const std::vector<Subscriber::Message> configs = sub.on("/config");
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(configs[i].payload.isEmpty(), i >= 10) << i;
  EXPECT_EQ(configs[10].topic, configs[0].topic);
}

}  // namespace
}  // namespace ovx::test
