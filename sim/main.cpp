// ovx-sim: the controller model on a pseudo-terminal. The program (or any
// terminal program) opens the slave side, or the symbolic link made with
// --link, as if it were the serial port of a controller.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>

#include "model/controller_model.h"
#include "model/line_buffer.h"

namespace {

using ovx::sim::ControllerModel;
using ovx::sim::Fault;
using ovx::sim::ModelOptions;

constexpr double kCharSeconds = 10.0 / 9600;  // 8N1 at 9600 baud: 10 bits a character
constexpr double kAnswerDelay = 0.02;         // s of real time before an answer starts
constexpr double kIdleWake = 1.0;             // s between wake-ups when nothing happens

struct SimOptions {
  QString link;
  double speed = 1;
  bool pace = true;
  QString logPath;
  ModelOptions model;
};

void Fail(const QString& message) {
  std::fprintf(stderr, "ovx-sim: %s\n", qPrintable(message));
  std::exit(2);
}

double Number(const QCommandLineParser& parser, const QString& name, double low, double high) {
  bool ok = false;
  const QString text = parser.value(name);
  const double value = text.toDouble(&ok);
  if (!ok || !std::isfinite(value) || value < low || value > high)
    Fail(QStringLiteral("invalid --%1 value \"%2\": expected a number from %3 to %4")
             .arg(name, text)
             .arg(low)
             .arg(high));
  return value;
}

SimOptions ParseOptions(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "OVX 7316 controller simulator on a pseudo-terminal.\n"
      "Prints the slave device path on the first line of standard output.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOptions({
      {"link", "Symbolic link to the pseudo-terminal (replaced if present, removed at exit).",
       "path"},
      {"loop", "Control loop number the controller answers to (default 1).", "n", "1"},
      {"speed", "Simulated seconds per real second (default 1).", "x", "1"},
      {"ambient", "Ambient temperature in °C (default 25).", "c", "25"},
      {"start", "Furnace temperature at start in °C (default 25).", "c", "25"},
      {"pace", "Send answers at the pace of a 9600-baud line (default on).", "on|off", "on"},
      {"log", "Write every frame in and out with its time to this file.", "file"},
      {"fault", "Fault to inject into answers: silent, echo, cut, nul, late, corrupt.", "mode"},
      {"corrupt-probability", "Probability of corrupting an answer with --fault corrupt (0.2).",
       "p", "0.2"},
      {"late", "Delay of answers with --fault late, real seconds (default 3).", "seconds", "3"},
      {"seed", "Seed of the noise and fault random numbers (default 1).", "n", "1"},
      {"heater", "Heater output (word 37) at start (default off).", "on|off", "off"},
      {"stuck-relay", "Fault: the heater heats at full power whatever word 37 says."},
      {"silent-after",
       "Fault: the controller stops answering (and taking writes) after this many real seconds.",
       "seconds"},
      {"jump-after",
       "Fault: a broken sensor; after this many real seconds the measured value jumps by --jump.",
       "seconds"},
      {"jump", "Size of the sensor's jump with --jump-after in °C (default 400).", "c", "400"},
      {"trailer",
       "What follows the data field of an answer: checksum (its checksum and Q, the default), "
       "zero (0000Q) or blank (five blanks).",
       "kind", "checksum"},
      {"header",
       "Whether the header of an answer names its block: named (NT, NF; the default) or plain.",
       "kind", "named"},
      {"reserved-word",
       "Hold \"@  \", which the encoding cannot carry, in the reserved data word 5 and in the "
       "value block's Value8."},
  });
  parser.process(app);
  if (!parser.positionalArguments().isEmpty())
    Fail("unexpected argument \"" + parser.positionalArguments().first() + "\"");

  SimOptions o;
  o.link = parser.value("link");
  o.speed = Number(parser, "speed", 1e-3, 1e6);
  o.model.loop = static_cast<int>(Number(parser, "loop", 0, 32767));
  if (o.model.loop != parser.value("loop").toDouble())
    Fail("invalid --loop value \"" + parser.value("loop") + "\": expected a whole number");
  o.model.ambient = Number(parser, "ambient", -50, 1500);
  o.model.start = Number(parser, "start", -50, 2000);
  const QString pace = parser.value("pace");
  if (pace != "on" && pace != "off") Fail("invalid --pace value \"" + pace + "\": on or off");
  o.pace = pace == "on";
  o.logPath = parser.value("log");
  const QString fault = parser.value("fault");
  if (fault.isEmpty())
    o.model.fault = Fault::None;
  else if (fault == "silent")
    o.model.fault = Fault::Silent;
  else if (fault == "echo")
    o.model.fault = Fault::Echo;
  else if (fault == "cut")
    o.model.fault = Fault::CutShort;
  else if (fault == "nul")
    o.model.fault = Fault::Nul;
  else if (fault == "late")
    o.model.fault = Fault::Late;
  else if (fault == "corrupt")
    o.model.fault = Fault::Corrupt;
  else
    Fail("invalid --fault value \"" + fault + "\": silent, echo, cut, nul, late or corrupt");
  o.model.corruptProbability = Number(parser, "corrupt-probability", 0, 1);
  // The line's own delays are real time; the model counts simulated seconds.
  o.model.lateSeconds = Number(parser, "late", 0, 3600) * o.speed;
  o.model.answerDelay = kAnswerDelay * o.speed;
  const QString heater = parser.value("heater");
  if (heater != "on" && heater != "off")
    Fail("invalid --heater value \"" + heater + "\": on or off");
  o.model.heaterOn = heater == "on";
  o.model.stuckRelay = parser.isSet("stuck-relay");
  if (parser.isSet("silent-after"))
    o.model.silentAfter = Number(parser, "silent-after", 0, 1e7) * o.speed;
  if (parser.isSet("jump-after"))
    o.model.jumpAfter = Number(parser, "jump-after", 0, 1e7) * o.speed;
  o.model.jump = Number(parser, "jump", -2000, 2000);
  const QString trailer = parser.value("trailer");
  if (trailer == "checksum")
    o.model.trailer = ovx::sim::Trailer::Checksum;
  else if (trailer == "zero")
    o.model.trailer = ovx::sim::Trailer::Zero;
  else if (trailer == "blank")
    o.model.trailer = ovx::sim::Trailer::Blank;
  else
    Fail("invalid --trailer value \"" + trailer + "\": checksum, zero or blank");
  const QString header = parser.value("header");
  if (header != "named" && header != "plain")
    Fail("invalid --header value \"" + header + "\": named or plain");
  o.model.namedHeaders = header == "named";
  o.model.reservedWord = parser.isSet("reserved-word");
  bool seedOk = false;
  o.model.seed = parser.value("seed").toUInt(&seedOk);
  if (!seedOk)
    Fail("invalid --seed value \"" + parser.value("seed") + "\": expected a whole number");
  return o;
}

QString ErrnoText(const char* what) {
  return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// The master side of a fresh pseudo-terminal; the slave is configured raw at
// 9600 baud and held open here too, so that it does not hang up while the
// client closes and reopens it.
struct Pty {
  int master = -1;
  int slave = -1;
  QByteArray slavePath;

  ~Pty() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }

  void open() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) Fail(ErrnoText("posix_openpt"));
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) Fail(ErrnoText("grantpt/unlockpt"));
    const char* name = ::ptsname(master);
    if (!name) Fail(ErrnoText("ptsname"));
    slavePath = name;
    slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) Fail(ErrnoText("opening the pseudo-terminal"));
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) Fail(ErrnoText("tcgetattr"));
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slave, TCSANOW, &tio) != 0) Fail(ErrnoText("tcsetattr"));
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
  }
};

// The symbolic link to the slave: it replaces an older link (never another
// kind of file) and goes away with the simulator, if it still points here.
class Link {
 public:
  Link(QByteArray path, QByteArray target) : path_(std::move(path)), target_(std::move(target)) {
    struct stat st {};
    if (::lstat(path_.constData(), &st) == 0 && !S_ISLNK(st.st_mode))
      Fail("refusing to replace \"" + QString::fromLocal8Bit(path_) +
           "\": it exists and is not a symbolic link");
    const QByteArray temporary = path_ + ".ovx-sim-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(target_.constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), path_.constData()) != 0) {
      const QString error = ErrnoText("creating the link");
      ::unlink(temporary.constData());
      Fail(error + " (" + QString::fromLocal8Bit(path_) + ")");
    }
  }
  ~Link() {
    char buffer[4096];
    const ssize_t n = ::readlink(path_.constData(), buffer, sizeof buffer);
    if (n >= 0 && QByteArray(buffer, n) == target_) ::unlink(path_.constData());
  }

 private:
  QByteArray path_, target_;
};

// Printable form of line bytes for the log: CR, LF and other control
// characters as escapes.
QByteArray Escaped(const QByteArray& bytes) {
  QByteArray out;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else if (u < 32 || u > 126)
      out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    else
      out += c;
  }
  return out;
}

class Log {
 public:
  explicit Log(const QString& path) : file_(path) {
    if (path.isEmpty()) return;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
      Fail("cannot write the log \"" + path + "\": " + file_.errorString());
  }
  // One line: real and simulated time, direction, the frame.
  void frame(double real, double simulated, const char* direction, const QByteArray& bytes) {
    if (!file_.isOpen()) return;
    file_.write(QStringLiteral("%1 s  sim %2 s  %3 ")
                    .arg(real, 10, 'f', 3)
                    .arg(simulated, 11, 'f', 1)
                    .arg(QLatin1String(direction))
                    .toLatin1() +
                Escaped(bytes) + "\n");
    file_.flush();
  }

 private:
  QFile file_;
};

struct Outgoing {
  QByteArray bytes;
  double start;  // real seconds
  qsizetype sent = 0;
};

int Serve(const SimOptions& options) {
  // SIGINT and SIGTERM (and a closed terminal) arrive through a descriptor,
  // so that the loop can end cleanly between two polls.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  if (::sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) Fail(ErrnoText("sigprocmask"));
  const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signalFd < 0) Fail(ErrnoText("signalfd"));
  ::signal(SIGPIPE, SIG_IGN);

  Pty pty;
  pty.open();
  Log log(options.logPath);
  std::optional<Link> link;
  if (!options.link.isEmpty()) link.emplace(QFile::encodeName(options.link), pty.slavePath);

  std::printf("%s\n", pty.slavePath.constData());
  std::fflush(stdout);
  std::fprintf(stderr, "ovx-sim: loop %d, speed %g, %s%s%s\n", options.model.loop, options.speed,
               pty.slavePath.constData(), options.link.isEmpty() ? "" : " linked as ",
               qPrintable(options.link));

  ControllerModel model(options.model);
  ovx::sim::LineBuffer incoming;  // for the log only
  std::deque<Outgoing> queue;
  double lineFree = 0;  // real time at which the line has sent everything queued
  const auto begin = std::chrono::steady_clock::now();
  auto realNow = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  };
  double masterQuietUntil = 0;  // after a hang-up, do not poll the master for a while
  int status = 0;

  for (;;) {
    double now = realNow();
    // Send the characters that are due.
    while (!queue.empty()) {
      Outgoing& o = queue.front();
      if (now < o.start) break;
      if (o.sent == 0) log.frame(now, now * options.speed, "out", o.bytes);
      qsizetype due = o.bytes.size();
      if (options.pace)
        due = std::min<qsizetype>(due, static_cast<qsizetype>((now - o.start) / kCharSeconds) + 1);
      if (due > o.sent) {
        const ssize_t n = ::write(pty.master, o.bytes.constData() + o.sent, due - o.sent);
        if (n > 0) {
          o.sent += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          std::fprintf(stderr, "ovx-sim: %s\n", qPrintable(ErrnoText("write")));
          o.sent = o.bytes.size();  // drop the answer
        }
      }
      if (o.sent < o.bytes.size()) break;
      queue.pop_front();
    }

    // Sleep until the next character is due, a request arrives or a signal.
    double wait = kIdleWake;
    if (!queue.empty()) {
      const Outgoing& o = queue.front();
      const double next =
          options.pace ? o.start + static_cast<double>(o.sent) * kCharSeconds : o.start;
      wait = std::clamp(next - now, 0.0, kIdleWake);
      if (next <= now) wait = 0.001;  // the master is full: try again soon
    }
    const bool watchMaster = now >= masterQuietUntil;
    if (!watchMaster) wait = std::min(wait, masterQuietUntil - now);
    pollfd fds[2] = {{signalFd, POLLIN, 0},
                     {pty.master, static_cast<short>(watchMaster ? POLLIN : 0), 0}};
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(wait);
    timeout.tv_nsec = static_cast<long>((wait - static_cast<double>(timeout.tv_sec)) * 1e9);
    if (::ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR) {
      std::fprintf(stderr, "ovx-sim: %s\n", qPrintable(ErrnoText("ppoll")));
      status = 1;
      break;
    }

    if (fds[0].revents & POLLIN) break;

    now = realNow();
    const double simulated = now * options.speed;
    model.advanceTo(simulated);
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[4096];
      const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
      if (n > 0) {
        const QByteArray bytes(buffer, n);
        for (const QByteArray& line : incoming.add(bytes)) log.frame(now, simulated, "in ", line);
        for (const ovx::sim::Answer& answer : model.receive(bytes, simulated)) {
          Outgoing o{answer.bytes, std::max(answer.at / options.speed, lineFree)};
          lineFree =
              o.start + (options.pace ? static_cast<double>(o.bytes.size()) * kCharSeconds : 0);
          queue.push_back(std::move(o));
        }
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        masterQuietUntil = now + 0.05;  // no slave open (should not happen: we hold one)
      }
    }
  }

  std::fprintf(stderr, "ovx-sim: ended; %d frames received, %d writes applied\n",
               model.framesReceived(), model.writesApplied());
  ::close(signalFd);
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("ovx-sim");
  QCoreApplication::setApplicationVersion(OVX_VERSION);
  return Serve(ParseOptions(app));
}
