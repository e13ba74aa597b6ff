// A mosquitto broker of a test's own, on a free loopback port with a
// generated configuration, and a subscriber (mosquitto_sub) that collects
// what arrives. Waits end on a condition or a timeout, never after a guessed
// sleep.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <vector>

namespace ovx::test {

// Runs the event loop (where the message client's news arrives) until
// `done` holds, or `ms` have passed; true when it holds.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 10'000,
                      const std::function<void()>& poll = {}) {
  QElapsedTimer timer;
  for (timer.start(); !done(); QCoreApplication::processEvents()) {
    if (timer.elapsed() > ms) return false;
    if (poll) poll();
  }
  return true;
}

// A port on the loopback interface that is free now, or the result of
// connecting to `port` (0 when something takes connections there).
inline int LoopbackPort(int port = 0, bool connectTo = false) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t size = sizeof address;
  auto* a = reinterpret_cast<sockaddr*>(&address);
  int result = connectTo ? ::connect(fd, a, size) : ::bind(fd, a, size);
  if (!connectTo && result == 0 && ::getsockname(fd, a, &size) == 0)
    result = ntohs(address.sin_port);
  ::close(fd);
  return result;
}

class Broker {
 public:
  // `config`: more lines for mosquitto.conf; "{dir}" stands for the broker's folder.
  explicit Broker(const QString& config = "allow_anonymous true\n") : config_(config) {}
  ~Broker() { stop(); }
  QString dir() const { return dir_.path(); }
  int port = 0;

  // Starts mosquitto (again on the same port after a stop), persistent, and
  // waits until it takes connections.
  bool start() {
    const bool again = port != 0;
    for (int tries = again ? 1 : 3; tries > 0; --tries) {
      if (!again) port = LoopbackPort();
      QFile conf(dir() + "/mosquitto.conf");
      if (!conf.open(QIODevice::WriteOnly)) return false;
      // Run as root (as the tests may be), mosquitto would become the user
      // "mosquitto", who may not write the folder.
      conf.write(QString("listener %1 127.0.0.1\nuser root\npersistence true\n"
                         "persistence_location %2/\n%3")
                     .arg(port)
                     .arg(dir(), QString(config_).replace("{dir}", dir()))
                     .toUtf8());
      conf.close();
      process_.setProcessChannelMode(QProcess::MergedChannels);
      process_.start("mosquitto", {"-c", conf.fileName()});
      if (WaitUntil([&] { return accepts() || process_.state() == QProcess::NotRunning; }, 5000) &&
          process_.state() == QProcess::Running)
        return true;
      stop();  // the port was taken meanwhile: another one
    }
    return false;
  }
  // SIGTERM: the clients lose their connections, the sessions are saved.
  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    process_.waitForFinished(5000);
  }

 private:
  bool accepts() const { return LoopbackPort(port, true) == 0; }
  QString config_;
  QTemporaryDir dir_;
  QProcess process_;
};

// mosquitto_sub on a broker, its session kept over a restart of the broker.
class Subscriber {
 public:
  struct Message {
    bool retained;
    QString topic;
    QByteArray payload;
  };
  ~Subscriber() {
    process.kill();
    process.waitForFinished(3000);
  }
  // Subscribes to `topic` and waits for the broker's acknowledgement.
  bool start(const Broker& broker, const QString& topic, const QString& id = "ovx-test") {
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Line-buffered: its debug lines (the acknowledgement) come at once.
    process.start("stdbuf",
                  {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", QString::number(broker.port),
                   "-t", topic, "-q", "1", "-c", "-i", id, "-d", "-F", "%r %t %p"});
    return wait([this] { return subscribed_; });
  }
  // Waits until `done` holds, taking what arrives meanwhile.
  bool wait(const std::function<bool()>& done, int ms = 10'000) {
    return WaitUntil(done, ms, [this] {
      process.waitForReadyRead(10);
      while (process.canReadLine()) take(process.readLine().chopped(1));
    });
  }
  // The messages on topics that end with `leaf`.
  std::vector<Message> on(const QString& leaf) const {
    std::vector<Message> found;
    for (const Message& m : messages)
      if (m.topic.endsWith(leaf)) found.push_back(m);
    return found;
  }
  std::vector<Message> messages;
  QProcess process;

 private:
  // A message is "0" or "1" (retained), its topic and its payload; the
  // other lines are the client's debug output.
  void take(const QByteArray& line) {
    if (line.contains(" received SUBACK")) subscribed_ = true;
    if (line.size() < 3 || (line[0] != '0' && line[0] != '1') || line[1] != ' ') return;
    const qsizetype blank = line.indexOf(' ', 2);
    messages.push_back({line[0] == '1', QString::fromUtf8(line.mid(2, blank - 2)),
                        blank < 0 ? QByteArray() : line.mid(blank + 1)});
  }
  bool subscribed_ = false;
};

}  // namespace ovx::test
