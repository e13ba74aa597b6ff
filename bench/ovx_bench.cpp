// ovx-bench: measures the control program on the real Qt platform against
// ovx-sim on a pseudo-terminal at the 9600-baud pace, and prints one table in
// Markdown. scripts/bench builds it and runs it under Xvfb.
//
// The start-up time is taken in a child process of this executable that does
// what ovx's main() does, from just before the child is started to the end of
// Program::Main (where the main window is shown) and to the window's first
// exposure. The peak memory is that of the real ovx binary.
//
// The MQTT rows run a mosquitto of their own on a free loopback port, with a
// subscriber on libmosquitto's own thread that notes when each message
// arrives. The lab of 20 programs runs them as child processes of this
// executable that do what ovx does, with the trend reading every second and
// the heater switched every 5 s, each on an ovx-sim of its own.
#include <malloc.h>
#include <mosquitto.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/program.h"
#include "link/tools.h"
#include "platform/qt_platform.h"
#include "protocol/blocks.h"
#include "protocol/codec.h"
#include "record/trend_feed.h"
#include "support/broker.h"
#include "trend/chart.h"
#include "trend/trend_window.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx::bench {
namespace {

// The delays in "ovx.ini" for every measurement except the TxDelay search.
constexpr const char* kTxDelay = "0.2";
constexpr const char* kRxDelay = "0";
constexpr int kReads = 50;            // exchanges timed in (a)
constexpr double kDelaySeconds = 10;  // the Delay of (b)
constexpr int kSteadyMs = 30'000;     // OK ends the steady-state wait of (b) after this
constexpr int kStartupRuns = 5;       // child processes timed in (c)
constexpr int kMemoryMs = 5'000;      // ovx runs this long before its peak memory is read
constexpr int kSearchFromMs = 300;    // TxDelay search of (e): from here down
constexpr int kSearchToMs = 50;
constexpr int kSearchStepMs = 5;
constexpr int kSearchReads = 10;
constexpr double kLineCharsPerSecond = 960;  // 9600 baud, 10 bits a character
constexpr int kTrendSeconds = 86'400;        // a day of readings, one a second per series
constexpr int kTrendPaints = 20;             // repaints timed
constexpr int kTrendAppends = 20'000;        // appends timed, to a full store
constexpr int kWatchIdleMs = 30'000;         // the watch on, nothing else running
constexpr int kReactions = 5;                // heater-off reactions timed
constexpr int kReactionLimit = 100;          // OverTemperature below the stuck furnace
constexpr int kMqttRounds = 5;               // programs with MQTT off, up, down in turn
constexpr int kLatencyReads = 20;            // readings timed to the subscriber
constexpr int kLabPrograms = 20;             // programs on one broker ...
constexpr int kLabSeconds = 60;              // ... for this long
constexpr int kLabHeaterMs = 5'000;          // each switches its heater this often
// Forty processes start at once on the lab's machine: a start-up read cut
// short would end a program.
constexpr const char* kLabTxDelay = "0.5";

[[noreturn]] void Fail(const QString& message) {
  throw std::runtime_error(message.toStdString());
}

void Progress(const QString& text) {
  std::fprintf(stderr, "ovx-bench: %s\n", qPrintable(text));
}

// Seconds on the system-wide monotonic clock, comparable between processes.
double Monotonic() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Processor time of this process (user and system, all threads).
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The real platform, except that a box is reported instead of shown (and
// answered Cancel), the end of the program is an exception, and every pass
// of a wait is counted.
class BenchPlatform : public QtPlatform {
 public:
  int yields = 0;

  MsgAnswer showMessageBox(const MessageBoxRequest& request) override {
    Progress("box \"" + request.title + "\": " + request.text.simplified());
    return MsgAnswer::Cancel;
  }
  std::optional<QString> inputBox(const QString& prompt, const QString&, const QString&) override {
    Progress("input box: " + prompt);
    return std::nullopt;
  }
  void processEvents() override {
    ++yields;
    QtPlatform::processEvents();
  }
  [[noreturn]] void endProgram(int status) override {
    Fail(QStringLiteral("the program ended with status %1").arg(status));
  }
};

// ovx-sim on a pseudo-terminal, linked from the settings folder as com1.
class Simulator {
 public:
  ~Simulator() {
    process_.terminate();
    process_.waitForFinished(3000);
  }
  void start(const QString& program, const QString& link, const QStringList& options = {}) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, QStringList{QStringLiteral("--link"), link} + options);
    // The first line on its standard output comes once the link is made.
    if (!process_.waitForReadyRead(5000) || !QFileInfo(link).isSymLink())
      Fail("ovx-sim did not start: " + program);
  }

 private:
  QProcess process_;
};

// "ovx.ini" in the folder; `more` is added as it is (sections of its own).
void WriteSettings(const QString& folder, const QString& dir, const QString& more = {},
                   int loop = 1, const char* txDelay = kTxDelay) {
  QDir().mkpath(folder);
  QFile ini(folder + "/ovx.ini");
  if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write " + ini.fileName());
  ini.write(QStringLiteral("[General]\r\nControlLoopNumber=%4\r\nDir=%1\r\nSound=0\r\n"
                           "[COM]\r\nPort=1\r\nSettings=9600,n,8,1\r\nRxDelay=%2\r\nTxDelay=%3\r\n")
                .arg(dir, QLatin1String(kRxDelay), QLatin1String(txDelay))
                .arg(loop)
                .toUtf8() +
            more.toUtf8());
}

// Runs the event loop for `seconds`, or until `done` holds; true when it holds.
bool RunEvents(
    double seconds, const std::function<bool()>& done = [] { return false; }) {
  const double end = Monotonic() + seconds;
  while (!done()) {
    if (Monotonic() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

bool BrokerConnected(Program& program) {
  return program.form().brokerStatus().startsWith(QStringLiteral("MQTT: connected"));
}

// A subscriber on libmosquitto's own thread: each message with the time it came.
class Subscriber {
 public:
  struct Message {
    double at;
    QByteArray topic;
  };
  Subscriber(int port, const char* topic) : mosq_(mosquitto_new(nullptr, true, this)) {
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* s = static_cast<Subscriber*>(self);
      const std::lock_guard lock(s->mutex_);
      s->messages_.push_back({Monotonic(), QByteArray(m->topic)});
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<Subscriber*>(self)->subscribed_ = true;
    });
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(mosq_, nullptr, topic, 1) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS ||
        !RunEvents(5, [this] { return subscribed_.load(); }))
      Fail(QStringLiteral("the subscriber did not get in"));
  }
  ~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }
  std::vector<Message> messages() {
    const std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  mosquitto* mosq_;
  std::mutex mutex_;
  std::vector<Message> messages_;
  std::atomic<bool> subscribed_ = false;
};

// The platform's message client, with the messages handed to it counted.
class CountingClient : public MessageClient {
 public:
  CountingClient(std::unique_ptr<MessageClient> real, int& states, int& events)
      : real_(std::move(real)), states_(states), events_(events) {}
  void start(const BrokerOptions& options) override {
    real_->onState = [this](State state, const QString& reason, double retryIn) {
      if (onState) onState(state, reason, retryIn);
    };
    real_->start(options);
  }
  void publish(const BrokerMessage& m) override {
    if (m.topic.endsWith(QStringLiteral("/state"))) ++states_;
    if (m.topic.endsWith(QStringLiteral("/event"))) ++events_;
    real_->publish(m);
  }
  void close(double seconds) override { real_->close(seconds); }

 private:
  std::unique_ptr<MessageClient> real_;
  int& states_;
  int& events_;
};

// Start-up, in the child: what ovx's main() does, then the seconds since
// `since` at the end of Main, at the first exposure of the main window, and
// the delays of the start-up exchange, on one line.
int StartupChild(int& argc, char** argv, double since) {
  try {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ovx"));
    QApplication::setOrganizationName(QStringLiteral("ovx"));
    BenchPlatform platform;
    Program program(platform);
    program.Main();
    const double mainReturned = Monotonic() - since;

    // The window system maps the window after Main; a timer bounds the wait.
    QTimer wake;
    wake.start(100);
    QElapsedTimer waited;
    waited.start();
    const QWidget& window = program.form();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) &&
           waited.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double exposed = Monotonic() - since;
    std::printf("%.6f %.6f %.6f\n", mainReturned, exposed,
                static_cast<double>(program.settings.TxDelay + program.settings.RxDelay));
    return 0;
  } catch (const std::exception& e) {
    Progress(QString::fromStdString(e.what()));
    return 1;
  }
}

struct Results {
  std::vector<double> readExtra;  // s beyond the delays, per exchange
  int readInvalid = 0;
  double delayCpu = 0;  // share of wall time
  double steadyCpu = 0, steadyWall = 0;
  int steadyPolls = 0;
  bool steadyEndedByOk = false;
  std::vector<double> startupMain, startupExposed;  // s beyond the delays
  double peakKiB = 0;
  int shortestTxMs = -1, failedTxMs = -1;
  std::vector<double> trendPaint;  // s per repaint
  double trendAppend = 0;          // s per reading appended
  double trendCpu = 0, trendWall = 0;
  int trendPolls = 0;
  double trendMiB = 0;  // heap taken by a day of readings
  double watchCpu = 0;
  int watchReads = 0;
  std::vector<double> reactions;  // s from the reading above the limit to the write
  double delays = 0;              // TxDelay + RxDelay
  // s beyond the delays: MQTT off, on with the broker up, down, measured in turns
  std::vector<double> readOff, readUp, readDown;
  std::vector<double> latency;       // s from a read's response to its state at a subscriber
  int labStates = 0, labEvents = 0;  // handed to the clients ...
  int labLost = 0;                   // ... and not received
  int labPrograms = 0;               // that ran to the end
  std::vector<double> labCpu;        // share of a core, per program
};

void MeasureStartup(Results& r) {
  for (int run = 0; run < kStartupRuns; ++run) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double since = Monotonic();
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--startup-child"), QString::number(since, 'f', 6)});
    if (!child.waitForFinished(30'000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
      Fail("the start-up run failed");
    const QList<QByteArray> fields = child.readAllStandardOutput().simplified().split(' ');
    if (fields.size() != 3) Fail("the start-up run printed no times");
    const double delays = fields[2].toDouble();
    r.startupMain.push_back(fields[0].toDouble() - delays);
    r.startupExposed.push_back(fields[1].toDouble() - delays);
  }
}

void MeasurePeakMemory(Results& r, const QString& ovxPath) {
  QProcess ovx;
  ovx.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  ovx.start(ovxPath, {});
  if (!ovx.waitForStarted(5000)) Fail("ovx did not start: " + ovxPath);
  if (ovx.waitForFinished(kMemoryMs)) Fail(QStringLiteral("ovx ended at start"));
  QFile status(QStringLiteral("/proc/%1/status").arg(ovx.processId()));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : status.readAll().split('\n'))
      if (line.startsWith("VmHWM:")) r.peakKiB = line.mid(6).simplified().split(' ')[0].toDouble();
  }
  ovx.terminate();
  if (!ovx.waitForFinished(3000)) ovx.kill();
  ovx.waitForFinished(3000);
  if (r.peakKiB <= 0) Fail(QStringLiteral("no VmHWM for ovx"));
}

void MeasureReads(std::vector<double>& extra, int& invalid, Program& program, int reads = kReads) {
  const double delays = static_cast<double>(program.settings.TxDelay + program.settings.RxDelay);
  for (int i = 0; i < reads; ++i) {
    program.platform.processEvents();
    const double start = Monotonic();
    const QByteArray response = program.commands.GetDataBlock(false);
    const double took = Monotonic() - start;
    if (response.size() != kResponseLength)
      ++invalid;
    else
      extra.push_back(took - delays);
  }
}

// The read exchange with MQTT off, on with the broker up and on with it
// down, a program of each in turn for a few reads, so that the load of the
// machine falls on all three alike; and, the broker up, the time from a
// value block's response to its state at a subscriber.
void MeasureMqtt(Results& r, const QString& folder, const QString& dir,
                 const test::Broker& broker) {
  enum Mqtt { Off, Up, Down };
  for (int round = 0; round < kMqttRounds; ++round) {
    for (const Mqtt mqtt : {Off, Up, Down}) {
      const int port =
          mqtt == Up ? broker.port : test::LoopbackPort();  // down: nothing listens there
      WriteSettings(folder, dir,
                    mqtt == Off
                        ? QString()
                        : QStringLiteral("[MQTT]\r\nBroker=127.0.0.1:%1\r\nTopic=bench/latency\r\n")
                              .arg(port));
      BenchPlatform platform;
      Program program(platform);
      program.Main();
      if (mqtt == Up && !RunEvents(10, [&] { return BrokerConnected(program); }))
        Fail(QStringLiteral("no connection to the broker: ") + program.form().brokerStatus());
      int invalid = 0;
      MeasureReads(mqtt == Off  ? r.readOff
                   : mqtt == Up ? r.readUp
                                : r.readDown,
                   invalid, program, kReads / kMqttRounds);
      if (mqtt != Up || round > 0) continue;

      struct ResponseClock : LinkListener {
        double at = 0;
        void responseReceived(const QByteArray&) override { at = Monotonic(); }
      } clock;
      program.link.addListener(&clock);
      Subscriber subscriber(broker.port, "bench/latency/state");
      for (int i = 0; i < kLatencyReads; ++i) {
        // More than a second after the last state, so the next one goes out at once.
        RunEvents(1.1);
        const size_t before = subscriber.messages().size();
        program.commands.GetValueBlock(false);
        if (RunEvents(1, [&] { return subscriber.messages().size() > before; }))
          r.latency.push_back(subscriber.messages()[before].at - clock.at);
      }
      program.link.removeListener(&clock);
    }
  }
}

// One program of the lab, in a child process: what ovx does, its trend
// reading every second and its heater switched every few seconds, for
// `seconds`; then the states and events it handed to its client and its
// share of a core, on one line.
int LabChild(int& argc, char** argv, int seconds) {
  try {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ovx"));
    QApplication::setOrganizationName(QStringLiteral("ovx"));
    int states = 0, events = 0;
    struct LabPlatform : BenchPlatform {
      int *states = nullptr, *events = nullptr;
      std::unique_ptr<MessageClient> createMessageClient() override {
        return std::make_unique<CountingClient>(QtPlatform::createMessageClient(), *states,
                                                *events);
      }
    } platform;
    platform.states = &states;
    platform.events = &events;
    Program program(platform);
    program.Main();
    if (!RunEvents(20, [&] { return BrokerConnected(program); }))
      Fail(QStringLiteral("no connection to the broker"));
    program.OpenTrend();
    bool on = false;
    QTimer heater;
    QObject::connect(&heater, &QTimer::timeout, [&] {
      on = !on;
      program.form().ops().SwitchHeaterOutput(on);
    });
    heater.start(kLabHeaterMs);
    const double cpu = CpuSeconds();
    const double wall = Monotonic();
    RunEvents(seconds);
    heater.stop();
    std::printf("%d %d %.6f\n", states, events, (CpuSeconds() - cpu) / (Monotonic() - wall));
    std::fflush(stdout);
    return 0;
  } catch (const std::exception& e) {
    Progress(QString::fromStdString(e.what()));
    return 1;
  }
}

// kLabPrograms programs on one broker, each on an ovx-sim of its own.
void MeasureLab(Results& r, const QString& root, const QString& simPath,
                const test::Broker& broker) {
  Subscriber subscriber(broker.port, "bench/#");
  std::vector<std::unique_ptr<Simulator>> simulators;
  std::vector<std::unique_ptr<QProcess>> programs;
  for (int n = 1; n <= kLabPrograms; ++n) {
    const QString settings = QStringLiteral("%1/lab%2").arg(root).arg(n);
    WriteSettings(settings + "/ovx", settings + "/",
                  QStringLiteral("[Trend]\r\nInterval=1\r\n[MQTT]\r\nBroker=127.0.0.1:%1\r\n"
                                 "Topic=bench/f%2\r\n")
                      .arg(broker.port)
                      .arg(n),
                  n, kLabTxDelay);
    simulators.push_back(std::make_unique<Simulator>());
    simulators.back()->start(simPath, settings + "/ovx/com1",
                             {QStringLiteral("--loop"), QString::number(n)});
  }
  for (int n = 1; n <= kLabPrograms; ++n) {
    auto program = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       QStringLiteral("%1/lab%2").arg(root).arg(n));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program->setProcessEnvironment(environment);
    program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program->start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("--lab-child"), QString::number(kLabSeconds)});
    programs.push_back(std::move(program));
    QThread::msleep(100);
  }
  for (int n = 1; n <= kLabPrograms; ++n) {
    QProcess& program = *programs[static_cast<size_t>(n - 1)];
    if (!program.waitForFinished((kLabSeconds + 60) * 1000) || program.exitCode() != 0) continue;
    const QList<QByteArray> fields = program.readAllStandardOutput().simplified().split(' ');
    if (fields.size() != 3) continue;
    ++r.labPrograms;
    const int states = fields[0].toInt(), events = fields[1].toInt();
    r.labStates += states;
    r.labEvents += events;
    r.labCpu.push_back(fields[2].toDouble());
    // What this program handed over must all be there (its "offline" aside).
    const QByteArray prefix = "bench/f" + QByteArray::number(n) + "/";
    int received = 0;
    RunEvents(2, [&] {
      received = 0;
      for (const Subscriber::Message& m : subscriber.messages())
        if (m.topic.startsWith(prefix) && !m.topic.endsWith("/status")) ++received;
      return received >= states + events;
    });
    r.labLost += std::max(0, states + events - received);
  }
}

void SteadyWait(Program& program, BenchPlatform& platform, double& cpuShare, double& wallSeconds,
                int& polls, bool& endedByOk);

void MeasureWaits(Results& r, Program& program, BenchPlatform& platform) {
  const double cpu = CpuSeconds();
  const double wall = Monotonic();
  Delay(program.platform, static_cast<float>(kDelaySeconds));
  r.delayCpu = (CpuSeconds() - cpu) / (Monotonic() - wall);

  SteadyWait(program, platform, r.steadyCpu, r.steadyWall, r.steadyPolls, r.steadyEndedByOk);
}

void SteadyWait(Program& program, BenchPlatform& platform, double& cpuShare, double& wallSeconds,
                int& polls, bool& endedByOk) {
  // The furnace stands at ambient with the heater off; a setpoint 3 °C above
  // keeps every sample in the window, but the average never reaches W ± 1, so
  // the wait polls until OK.
  program.commands.GetValueBlock(true);
  const auto W = static_cast<int16_t>(program.commands.Values.ActualTemperature + 3);
  program.form().OKFlag = false;
  program.form().CancelFlag = false;
  QTimer ok;
  ok.setSingleShot(true);
  QObject::connect(&ok, &QTimer::timeout, program.form().BtnOK, &QPushButton::click);
  ok.start(kSteadyMs);
  const int yields = platform.yields;
  const double cpu = CpuSeconds();
  const double wall = Monotonic();
  program.form().ops().WaitForSteadyState(W);
  wallSeconds = Monotonic() - wall;
  cpuShare = (CpuSeconds() - cpu) / wallSeconds;
  polls = platform.yields - yields;
  endedByOk = program.form().OKFlag;
  ok.stop();
  program.form().OKFlag = false;
}

// A day of readings, every second a value block and a data block read, with
// the setpoint stepping every hour and an event now and then.
void FillDay(TrendFeed& feed, Platform& platform) {
  Reading value{0, BlockKind::Value, Outcome::Answered, {}, {}};
  Reading data{0, BlockKind::Data, Outcome::Answered, DefaultParameterSet(), {}};
  const double start = platform.now();
  for (int s = 0; s < kTrendSeconds; ++s) {
    value.time = data.time = start - kTrendSeconds + s;
    value.values.ActualTemperature = static_cast<int16_t>(800 + s / 3600 * 10 + (s * 7919) % 13);
    data.words[kSetpoint] = static_cast<int16_t>(800 + s / 3600 * 10);
    feed.readingTaken(data);
    feed.readingTaken(value);
    if (s % 3600 == 0) {
      OperationEvent step(OperationEvent::Kind::StepStarted);
      step.time = value.time;
      step.setpoint = data.words[kSetpoint];
      feed.eventPosted(step);
    }
  }
}

void MeasureTrend(Results& r, Program& program, BenchPlatform& platform) {
  const size_t heapBefore = mallinfo2().uordblks;
  TrendFeed feed(platform);
  FillDay(feed, platform);
  r.trendMiB = static_cast<double>(mallinfo2().uordblks - heapBefore) / (1024 * 1024);

  // The whole day across 1000 x 400 pixels.
  TrendChart chart(feed.buffer());
  chart.resize(1000, 400);
  chart.setSpan(kTrendSeconds);
  chart.show();
  QCoreApplication::processEvents();
  for (int i = 0; i < kTrendPaints; ++i) {
    const double start = Monotonic();
    chart.repaint();
    r.trendPaint.push_back(Monotonic() - start);
  }
  chart.hide();

  // Appending to the full store, the chart told of each reading.
  feed.onChange = [&chart] { chart.update(); };
  Reading value{platform.now(), BlockKind::Value, Outcome::Answered, {}, {}};
  const double start = Monotonic();
  for (int i = 0; i < kTrendAppends; ++i) {
    value.time += 0.2;
    feed.readingTaken(value);
  }
  r.trendAppend = (Monotonic() - start) / kTrendAppends;

  // The steady-state wait again, with the trend window open and following
  // the program's own day of readings.
  FillDay(program.trendFeed, platform);
  program.OpenTrend();
  QCoreApplication::processEvents();
  bool ok = false;
  SteadyWait(program, platform, r.trendCpu, r.trendWall, r.trendPolls, ok);
  program.trend()->close();
}

// The event loop alone for `ms`.
void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The time of the first value reading above a limit, and of the write after it.
struct ReactionTimer : LinkListener {
  int limit = 0;
  double above = 0, written = 0, txDelay = 0;
  int reads = 0;
  void readingTaken(const Reading& r) override {
    reads += r.block == BlockKind::Value;
    if (r.block == BlockKind::Value && r.outcome == Outcome::Answered &&
        r.values.ActualTemperature > limit && above == 0)
      above = Monotonic();
  }
  void frameSent(const QByteArray& frame) override {
    // Told after the send delay: the write itself was that much earlier.
    if (frame.startsWith('S') && above > 0 && written == 0) written = Monotonic() - txDelay;
  }
};

// The watch on at its default interval, nothing else running; then, on a
// furnace whose relay is welded with the heater on, the time from the
// monitoring reading that first sees X above OverTemperature to the heater
// switch's write, the limit lowered below X each time.
void MeasureWatch(Results& r, Program& program, const QString& simPath, const QString& base) {
  ReactionTimer timer;
  program.link.addListener(&timer);
  WatchSettings on;
  on.Enabled = true;
  program.watch.setWatchSettings(on);
  const double cpu = CpuSeconds();
  const double wall = Monotonic();
  RunEventLoop(kWatchIdleMs);
  r.watchCpu = (CpuSeconds() - cpu) / (Monotonic() - wall);
  r.watchReads = timer.reads;
  program.watch.setWatchSettings({});
  program.link.removeListener(&timer);

  // A settings folder of its own, its com1 linked to the stuck furnace.
  const QString home = base + "/stuck";
  WriteSettings(home + "/ovx", base);
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home));
  Simulator stuck;
  stuck.start(
      simPath, home + "/ovx/com1",
      {"--stuck-relay", "--heater", "on", "--start", QString::number(kReactionLimit + 200)});
  BenchPlatform platform;
  Program furnace(platform);
  furnace.Main();
  furnace.link.addListener(&timer);
  timer.txDelay = static_cast<double>(furnace.settings.TxDelay);
  r.delays = static_cast<double>(furnace.settings.TxDelay + furnace.settings.RxDelay);
  on.Interval = 1;
  for (int i = 0; i < kReactions; ++i) {
    on.OverTemperature = 3000;
    furnace.watch.setWatchSettings(on);
    furnace.form().ops().SwitchHeaterOutput(true);
    furnace.watch.acknowledge();
    RunEventLoop(1500);  // a reading below the limit clears the alarm
    timer.limit = kReactionLimit;
    timer.above = timer.written = 0;
    on.OverTemperature = kReactionLimit;
    furnace.watch.setWatchSettings(on);
    QElapsedTimer waited;
    for (waited.start(); timer.written == 0 && waited.elapsed() < 10'000;) RunEventLoop(10);
    if (timer.written == 0) Fail(QStringLiteral("the watch did not switch the heater off"));
    r.reactions.push_back(timer.written - timer.above);
  }
  furnace.link.removeListener(&timer);
}

void SearchTxDelay(Results& r, Program& program) {
  program.settings.RxDelay = 0;
  for (int ms = kSearchFromMs; ms >= kSearchToMs; ms -= kSearchStepMs) {
    program.settings.TxDelay = static_cast<float>(ms) / 1000;
    bool valid = true;
    for (int i = 0; i < kSearchReads && valid; ++i) {
      program.platform.processEvents();
      valid = program.commands.GetDataBlock(false).size() == kResponseLength;
    }
    if (!valid) {
      r.failedTxMs = ms;
      break;
    }
    r.shortestTxMs = ms;
  }
}

QString CpuModel() {
  QFile info(QStringLiteral("/proc/cpuinfo"));
  if (info.open(QIODevice::ReadOnly))
    for (const QByteArray& line : info.readAll().split('\n'))
      if (line.startsWith("model name"))
        return QString::fromLatin1(line.mid(line.indexOf(':') + 1)).trimmed();
  return QStringLiteral("unknown processor");
}

QString Ms(double seconds, int decimals = 0) {
  return QString::number(seconds * 1000, 'f', decimals) + QStringLiteral(" ms");
}

QString Percent(double share) {
  return QString::number(share * 100, 'f', 2) + QStringLiteral(" %");
}

void PrintTable(const Results& r, const QStringList& parts) {
  // The request with its CR LF out, the whole answer in, at the line's rate.
  const qsizetype requestChars = DataBlockRequest(1).size() + 2;
  const double lineLimit =
      static_cast<double>(requestChars + kResponseLength) / kLineCharsPerSecond;
  const auto [minRead, maxRead] = std::minmax_element(r.readExtra.begin(), r.readExtra.end());
  const bool haveReads = !r.readExtra.empty();
  const QString reads = haveReads
                            ? QStringLiteral("%1 (min %2, max %3)")
                                  .arg(Ms(Median(r.readExtra), 2), Ms(*minRead, 2), Ms(*maxRead, 2))
                            : QStringLiteral("no valid read");
  const QString readNote =
      r.readInvalid ? QStringLiteral("; %1 invalid").arg(r.readInvalid) : QString();
  const QString steady =
      QStringLiteral("%1 (%2 polls in %3 s, ended by %4)")
          .arg(Percent(r.steadyCpu))
          .arg(r.steadyPolls)
          .arg(r.steadyWall, 0, 'f', 1)
          .arg(r.steadyEndedByOk ? QStringLiteral("OK") : QStringLiteral("steady state"));
  const QString startup = QStringLiteral("%1 (window exposed: %2)")
                              .arg(Ms(Median(r.startupMain)), Ms(Median(r.startupExposed)));
  const QString shortest =
      r.shortestTxMs < 0 ? QStringLiteral("none from %1 ms").arg(kSearchFromMs)
      : r.failedTxMs < 0
          ? QStringLiteral("%1 ms or less").arg(r.shortestTxMs)
          : QStringLiteral("%1 ms (%2 ms fails)").arg(r.shortestTxMs).arg(r.failedTxMs);

  std::printf("OVX 7316 benchmarks, %s; %s, %d cores; Qt %s, platform %s\n",
              qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)),
              qPrintable(CpuModel()), QThread::idealThreadCount(), qVersion(),
              qPrintable(QGuiApplication::platformName()));
  std::printf("ovx-sim at the 9600-baud pace; ovx.ini: TxDelay=%s, RxDelay=%s\n\n", kTxDelay,
              kRxDelay);
  // A row of a part that ran.
  QString part;
  const auto row = [&](const QString& what, const QString& result, const QString& aim) {
    if (part.isEmpty() || parts.contains(part))
      std::printf("| %s | %s | %s |\n", qPrintable(what), qPrintable(result), qPrintable(aim));
  };
  row("Measure", "Result", "Aim");
  row("---", "---", "---");
  part = "reads";
  row(QStringLiteral("Read exchange (GetDataBlock) beyond TxDelay + RxDelay, median of %1")
          .arg(kReads),
      reads + readNote, "< 2 ms");
  part = "waits";
  row(QStringLiteral("Processor time during a %1 s Delay").arg(kDelaySeconds), Percent(r.delayCpu),
      "< 2 %");
  row(QStringLiteral("Processor time during a %1 s steady-state wait").arg(kSteadyMs / 1000),
      steady, "< 2 %");
  part = "startup";
  row(QStringLiteral(
          "Start-up to the main window shown (end of Main), beyond TxDelay + RxDelay, median "
          "of %1")
          .arg(kStartupRuns),
      startup, "< 300 ms");
  part = "memory";
  row(QStringLiteral("Peak memory of ovx (VmHWM, %1 s after start)").arg(kMemoryMs / 1000),
      QString::number(r.peakKiB / 1024, 'f', 1) + QStringLiteral(" MiB"), "-");
  part = "txdelay";
  row(QStringLiteral("Shortest TxDelay with %1 valid reads in a row (RxDelay 0)").arg(kSearchReads),
      shortest,
      QStringLiteral("line limit %1 (%2 + %3 characters at %4 a second)")
          .arg(Ms(lineLimit))
          .arg(requestChars)
          .arg(kResponseLength)
          .arg(kLineCharsPerSecond));
  part = "trend";
  const auto [minPaint, maxPaint] = std::minmax_element(r.trendPaint.begin(), r.trendPaint.end());
  if (!r.trendPaint.empty())
    row(QStringLiteral(
            "Trend repaint at 1000 x 400 with 24 h of readings (%1 per series), median of %2")
            .arg(kTrendSeconds)
            .arg(kTrendPaints),
        QStringLiteral("%1 (min %2, max %3)")
            .arg(Ms(Median(r.trendPaint), 2), Ms(*minPaint, 2), Ms(*maxPaint, 2)),
        "< 20 ms");
  row(QStringLiteral("Trend: appending a reading to a full store, mean of %1").arg(kTrendAppends),
      Ms(r.trendAppend, 4), "< 0.1 ms");
  row(QStringLiteral("Processor time during a %1 s steady-state wait, trend open and following")
          .arg(kSteadyMs / 1000),
      QStringLiteral("%1 (%2 polls in %3 s)")
          .arg(Percent(r.trendCpu))
          .arg(r.trendPolls)
          .arg(r.trendWall, 0, 'f', 1),
      "< 3 %");
  row(QStringLiteral("Trend: memory for 24 h of readings (heap taken)"),
      QString::number(r.trendMiB, 'f', 1) + QStringLiteral(" MiB"), "< 10 MiB");
  part = "watch";
  const auto [minReaction, maxReaction] =
      std::minmax_element(r.reactions.begin(), r.reactions.end());
  if (!r.reactions.empty())
    row(QStringLiteral("Watch: from the reading above OverTemperature to the heater-off write, "
                       "stuck relay, median of %1")
            .arg(kReactions),
        QStringLiteral("%1 (min %2, max %3); TxDelay + RxDelay + %4")
            .arg(Ms(Median(r.reactions)), Ms(*minReaction), Ms(*maxReaction),
                 Ms(Median(r.reactions) - r.delays)),
        "< TxDelay + RxDelay + 50 ms");
  row(QStringLiteral("Processor time with the watch on and idle, %1 s").arg(kWatchIdleMs / 1000),
      QStringLiteral("%1 (%2 reads)").arg(Percent(r.watchCpu)).arg(r.watchReads), "< 1 %");
  part = "mqtt";
  {
    const double off = Median(r.readOff);
    for (const bool up : {true, false}) {
      const std::vector<double>& reads = up ? r.readUp : r.readDown;
      row(QStringLiteral(
              "Read exchange beyond TxDelay + RxDelay with MQTT on, broker %1, median of "
              "%2, in turns with MQTT off")
              .arg(up ? QStringLiteral("up") : QStringLiteral("down"))
              .arg(kReads),
          reads.empty() || r.readOff.empty()
              ? QStringLiteral("no valid read")
              : QStringLiteral("%1 (MQTT off in the same turns: %2; difference %3)")
                    .arg(Ms(Median(reads), 2), Ms(off, 2), Ms(Median(reads) - off, 2)),
          QStringLiteral("≤ 0.2 ms above MQTT off"));
    }
    const auto [minLatency, maxLatency] = std::minmax_element(r.latency.begin(), r.latency.end());
    row(QStringLiteral("Reading to broker: a value block's response to its state at a subscriber, "
                       "median of %1")
            .arg(kLatencyReads),
        r.latency.empty()
            ? QStringLiteral("no state arrived")
            : QStringLiteral("%1 (min %2, max %3; %4 of %5 arrived)")
                  .arg(Ms(Median(r.latency), 2), Ms(*minLatency, 2), Ms(*maxLatency, 2))
                  .arg(r.latency.size())
                  .arg(kLatencyReads),
        "< 50 ms");
    const double maxCpu =
        r.labCpu.empty() ? 0 : *std::max_element(r.labCpu.begin(), r.labCpu.end());
    row(QStringLiteral("%1 programs (offscreen, TxDelay %4 s, trend reading every second, heater "
                       "switched every %2 s) on one broker for %3 s")
            .arg(kLabPrograms)
            .arg(kLabHeaterMs / 1000)
            .arg(kLabSeconds)
            .arg(QLatin1String(kLabTxDelay)),
        r.labCpu.empty()
            ? QStringLiteral("no program ran to the end")
            : QStringLiteral("%1 of %2 ran; %3 states and %4 events published, %5 lost; processor "
                             "time of each: median %6, max %7")
                  .arg(r.labPrograms)
                  .arg(kLabPrograms)
                  .arg(r.labStates)
                  .arg(r.labEvents)
                  .arg(r.labLost)
                  .arg(Percent(Median(r.labCpu)), Percent(maxCpu)),
        "none lost");
  }
  std::fflush(stdout);
}

int Run(const QString& simPath, const QString& ovxPath, const QStringList& parts) {
  QTemporaryDir temporary;
  if (!temporary.isValid()) Fail(QStringLiteral("no temporary folder"));
  // The settings folder of every program this bench runs, with com1 linked
  // to the one simulator; "pid.par" goes to the temporary folder too.
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(temporary.path()));
  const QString folder = temporary.path() + "/ovx";
  WriteSettings(folder, temporary.path());
  Simulator simulator;
  simulator.start(simPath, folder + "/com1");
  const auto want = [&](const char* part) { return parts.contains(QLatin1String(part)); };

  Results r;
  // The programs take turns on the line: each closes the port before the next.
  if (want("startup")) {
    Progress(QStringLiteral("start-up, %1 runs").arg(kStartupRuns));
    MeasureStartup(r);
  }
  if (want("memory")) {
    Progress(QStringLiteral("peak memory of %1").arg(ovxPath));
    MeasurePeakMemory(r, ovxPath);
  }

  // The programs of the MQTT rows come and go before the one of the rest.
  test::Broker broker;
  if (want("mqtt")) {
    if (!broker.start()) Fail(QStringLiteral("mosquitto did not start"));
    Progress(QStringLiteral("MQTT: %1 read exchanges each off, with the broker up and down, %2 "
                            "readings to the broker")
                 .arg(kReads)
                 .arg(kLatencyReads));
    MeasureMqtt(r, folder, temporary.path(), broker);
    WriteSettings(folder, temporary.path());
  }

  BenchPlatform platform;
  Program program(platform);
  program.Main();
  if (want("reads")) {
    Progress(QStringLiteral("%1 read exchanges").arg(kReads));
    MeasureReads(r.readExtra, r.readInvalid, program);
  }
  if (want("waits")) {
    Progress(QStringLiteral("%1 s Delay and %2 s steady-state wait")
                 .arg(kDelaySeconds)
                 .arg(kSteadyMs / 1000));
    MeasureWaits(r, program, platform);
  }
  if (want("trend")) {
    Progress(QStringLiteral(
                 "trend: a day of readings, repaints, appends, %1 s wait with the window open")
                 .arg(kSteadyMs / 1000));
    MeasureTrend(r, program, platform);
  }
  if (want("watch")) {
    Progress(QStringLiteral("watch: %1 s idle, %2 reactions on a stuck relay")
                 .arg(kWatchIdleMs / 1000)
                 .arg(kReactions));
    MeasureWatch(r, program, simPath, temporary.path());
  }
  if (want("txdelay")) {
    Progress(QStringLiteral("shortest TxDelay"));
    SearchTxDelay(r, program);
  }
  if (want("mqtt")) {
    Progress(QStringLiteral("MQTT: %1 programs on one broker for %2 s")
                 .arg(kLabPrograms)
                 .arg(kLabSeconds));
    MeasureLab(r, temporary.path(), simPath, broker);
  }
  PrintTable(r, parts);
  return 0;
}

}  // namespace
}  // namespace ovx::bench

int main(int argc, char* argv[]) {
  using namespace ovx::bench;
  if (argc == 3 && std::strcmp(argv[1], "--startup-child") == 0)
    return StartupChild(argc, argv, std::strtod(argv[2], nullptr));
  mosquitto_lib_init();
  if (argc == 3 && std::strcmp(argv[1], "--lab-child") == 0)
    return LabChild(argc, argv, std::atoi(argv[2]));

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ovx"));
  QApplication::setOrganizationName(QStringLiteral("ovx"));
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Measures ovx against ovx-sim on a pseudo-terminal and prints one table.");
  parser.addHelpOption();
  parser.addOptions({
      {"sim", "The ovx-sim to run (default: the one of this build).", "path", OVX_SIM_PATH},
      {"ovx", "The ovx whose peak memory is measured (default: the one of this build).", "path",
       OVX_BIN_PATH},
      {"part",
       "Measures only this part (repeatable): startup, memory, reads, waits, trend, watch, "
       "txdelay, mqtt.",
       "name"},
      {"trend", "Only the trend's rows (--part trend)."},
  });
  parser.process(app);
  try {
    const QStringList all = {"startup", "memory", "reads",   "waits",
                             "trend",   "watch",  "txdelay", "mqtt"};
    QStringList parts = parser.isSet("part") ? parser.values("part") : all;
    if (parser.isSet("trend")) parts = QStringList{"trend"};
    for (const QString& part : parts)
      if (!all.contains(part)) Fail("unknown part \"" + part + "\"");
    return Run(parser.value("sim"), parser.value("ovx"), parts);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ovx-bench: %s\n", e.what());
    return 1;
  }
}
