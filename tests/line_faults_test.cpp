// Faults on the serial line, end to end: the whole program on the Qt platform
// and its serial port, ovx-sim on a pseudo-terminal. Each fault mode is
// switched on during one operation by restarting the simulator with it on
// the same link (or by killing it), and lifted again after a few failed
// reads. The program must not crash or hang, must never write a block other
// than the one asked for, and must finish the operation once the line is
// good again. Every simulator logs the frames it received; the write frames
// in those logs are checked against the controller's block as it stood.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>

#include "app/program.h"
#include "model/controller_model.h"
#include "pidstore/pidstore.h"
#include "protocol/codec.h"
#include "support/scripted_qt_platform.h"
#include "support/sim_process.h"
#include "trun/frmtrun.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx::test {
namespace {

struct FaultMode {
  const char* name;
  QStringList args;  // ovx-sim options that switch the fault on
  bool kill;         // the fault is a simulator killed with SIGKILL
};

const FaultMode kModes[] = {
    {"silent", {"--fault", "silent"}, false},
    {"echo", {"--fault", "echo"}, false},
    {"cut", {"--fault", "cut"}, false},
    {"nul", {"--fault", "nul"}, false},
    {"late", {"--fault", "late", "--late", "2"}, false},
    {"corrupt", {"--fault", "corrupt", "--corrupt-probability", "0.2"}, false},
    {"killed", {}, true},
};

constexpr double kSpeed = 200;      // simulated seconds per real second
constexpr int kFailuresToLift = 2;  // failed reads before the line is good again
constexpr double kWatchdog = 60;    // s for one test
// The furnace's ambient temperature is the controller's default setpoint, so
// that it is steady there with the heater on or off.
constexpr int kAmbient = 32;
// A gentle PID set for the temperature run, one degree above ambient.
constexpr PidSet kRunSet{200, 600, 0};

void PrintTo(const FaultMode& mode, std::ostream* out) {
  *out << mode.name;
}

// One frame of a simulator log.
struct LoggedFrame {
  bool in;
  QByteArray bytes;
};

QByteArray Unescaped(const QString& text) {
  const QByteArray escaped = text.toLatin1();
  QByteArray out;
  for (qsizetype i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\\' || i + 1 >= escaped.size()) {
      out += escaped[i];
      continue;
    }
    const char c = escaped[++i];
    if (c == 'r') out += '\r';
    if (c == 'n') out += '\n';
    if (c == '\\') out += '\\';
    if (c == 'x') {
      out += static_cast<char>(escaped.mid(i + 1, 2).toInt(nullptr, 16));
      i += 2;
    }
  }
  return out;
}

std::vector<LoggedFrame> ReadLog(const QString& path) {
  static const QRegularExpression line(
      QStringLiteral("^\\s*\\S+ s  sim\\s+\\S+ s  (in |out) (.*)$"));
  std::vector<LoggedFrame> frames;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return frames;
  while (!file.atEnd()) {
    const QString text = QString::fromLatin1(file.readLine()).chopped(1);
    const auto match = line.match(text);
    if (match.hasMatch())
      frames.push_back({match.captured(1) == "in ", Unescaped(match.captured(2))});
  }
  return frames;
}

// A response exactly as the simulator sends it without faults.
bool GoodResponse(const QByteArray& r) {
  if (r.size() != kResponseLength || !r.endsWith("Q\r\n")) return false;
  const QByteArray field = DataField(r);
  return (r.startsWith("A001NT OVX 7316  ") || r.startsWith("A001NF OVX 7316  ")) &&
         r.mid(kDataFieldStart - 1 + kDataFieldLength, 4) == Checksum(field);
}

bool IsRequest(const QByteArray& frame) {
  return frame == "R001NT?" || frame == "R001NF?";
}

// Words the operator asked for in one write: index and value.
using Asked = std::map<int, int16_t>;

class LineFaults : public testing::TestWithParam<FaultMode> {
 protected:
  void SetUp() override {
    // Corruption spoils only some answers: it stays on for the whole operation.
    if (corrupt()) liftAfter_ = 1000;
    savedConfig_ = qgetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config_.isValid());
    if (!QFileInfo(SimProcess::path()).isExecutable()) GTEST_SKIP() << "no ovx-sim";
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    folder_ = config_.filePath("ovx");
    QDir().mkpath(folder_);
    QFile ini(folder_ + "/ovx.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\r\nSound=0\r\nDir=" + QFile::encodeName(folder_) +
              "\r\n[COM]\r\nPort=1\r\nRxDelay=0\r\nTxDelay=0.2\r\n");
    ini.close();

    platform_.deadline = platform_.now() + kWatchdog;
    platform_.onWrite = [this](const QByteArray& data) { beforeWrite(data.chopped(2)); };
    platform_.onYield = [this] { atYield(); };
    // The start-up check: Retry while the line is bad; OK to the invalid-response box.
    platform_.onBox = [](const MessageBoxRequest& box) {
      if (box.title == "OVX-Check")
        return box.buttons == MsgButtons::RetryCancel ? MsgAnswer::Retry : MsgAnswer::Ok;
      return MsgAnswer::Ok;
    };
    program_ = std::make_unique<Program>(platform_);
    startSim(false);
  }

  void TearDown() override {
    program_.reset();
    for (auto& sim : sims_) sim->stop();
    if (savedConfig_.isNull())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", savedConfig_);
  }

  // A fresh simulator on the link, with the fault or without.
  void startSim(bool faulty) {
    if (!sims_.empty()) sims_.back()->stop();
    logs_.push_back({config_.filePath(QString("sim%1.log").arg(logs_.size())), faulty});
    sims_.push_back(std::make_unique<SimProcess>());
    QStringList options{
        "--speed",   QString::number(kSpeed),   "--seed",  "7",
        "--ambient", QString::number(kAmbient), "--start", QString::number(kAmbient),
        "--log",     logs_.back().path};
    if (faulty) options += GetParam().args;
    ASSERT_TRUE(sims_.back()->start(folder_ + "/com1", options));
    dead_ = false;
  }

  // Switches the fault on: a simulator with the fault, or none at all.
  void faultOn() {
    faultOn_ = true;
    ++faultsSwitched_;
    failuresInFault_ = 0;
    if (!GetParam().kill) return startSim(true);
    sims_.back()->kill();
    // The link stays. The system may hand its pseudo-terminal's number to the
    // next one opened (another test's simulator): point it at a name that
    // stays missing.
    const QString link = folder_ + "/com1";
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(folder_ + "/gone", link));
    dead_ = true;
  }

  void beforeWrite(const QByteArray& frame) {
    ++(IsRequest(frame) ? reads_ : writes_);
    if (atWrite_) atWrite_(frame);
    if (dead_) ++deadWrites_;
  }

  void atYield() {
    if (!program_) return;
    if (atYield_) atYield_(program_->form().statusLine());
    if (program_->form().statusLine() != "Invalid response") return;
    ++failedReads_;
    if (!faultOn_) return;
    // A read that gets no valid answer tries again every TxDelay + RxDelay + 1 s.
    const double t = platform_.now();
    if (failuresInFault_ > 0 && !corrupt()) {
      EXPECT_GT(t - lastFailure_, 1.19) << "between two failed reads";
      EXPECT_LT(t - lastFailure_, 1.5) << "between two failed reads";
    }
    lastFailure_ = t;
    if (++failuresInFault_ >= liftAfter_) lift();
  }

  void lift() {
    faultOn_ = false;
    startSim(false);
  }

  // Every write frame that reached a simulator holds its block as it stood,
  // with only the words of one of `asked` changed. Returns the last block of
  // the simulator running now.
  DataBlockWords checkLogs(const std::vector<Asked>& asked) {
    DataBlockWords state{};
    for (const Log& log : logs_) {
      state = sim::ControllerModel().dataBlock();
      for (const LoggedFrame& f : ReadLog(log.path)) {
        // Corruption spares some answers; the other modes spoil every one.
        if (!f.in) {
          if (log.faulty && corrupt() && !GoodResponse(f.bytes)) ++faults_;
          continue;
        }
        if (IsRequest(f.bytes)) {
          if (log.faulty && !corrupt()) ++faults_;
          continue;
        }
        const QByteArray field = f.bytes.mid(8, kDataFieldLength);
        const DataBlockWords words = DecodeDataBlock(field);
        EXPECT_EQ(f.bytes, WriteFrame(1, words)) << "malformed write frame";
        bool matches = false;
        for (const Asked& a : asked) {
          DataBlockWords expected = state;
          for (const auto& [index, value] : a) expected[index] = value;
          matches = matches || expected == words;
        }
        std::string diff;
        for (int i = 0; i < kDataBlockWords; ++i)
          if (words[i] != state[i])
            diff += " word " + std::to_string(i) + ": " + std::to_string(state[i]) + " -> " +
                    std::to_string(words[i]) + ";";
        EXPECT_TRUE(matches) << "a write the operator did not ask for:" << diff;
        state = words;
      }
    }
    if (GetParam().kill) faults_ = deadWrites_;
    return state;
  }

  // The counts for the lead's note.
  void report(const char* phase, double seconds) {
    std::printf(
        "[  counts  ] %-8s %-14s %3d exchanges (%d reads, %d writes), %2d faults, "
        "%2d failed reads, %zu boxes, %4.1f s\n",
        GetParam().name, phase, reads_ + writes_, reads_, writes_, faults_, failedReads_,
        platform_.boxes.size(), seconds);
  }

  // A simulator that is there when the port opens, killed right before the
  // first request; any other fault is there from the start.
  void faultFromTheStart() {
    if (!GetParam().kill) return faultOn();
    atWrite_ = [this](const QByteArray&) {
      if (!faultsSwitched_) faultOn();
    };
  }

  bool corrupt() const { return GetParam().args.contains("corrupt"); }

  // Counts from here on; returns the time.
  double beginPhase() {
    reads_ = writes_ = failedReads_ = 0;
    platform_.boxes.clear();
    return platform_.now();
  }

  // Main; false when it ended the program, with its status.
  bool startProgram(int* status = nullptr) {
    try {
      program_->Main();
      return true;
    } catch (const ProgramEnded& ended) {
      if (status) *status = ended.status;
      return false;
    }
  }

  struct Log {
    QString path;
    bool faulty;
  };
  QTemporaryDir config_;
  QString folder_;
  QByteArray savedConfig_;
  ScriptedQtPlatform platform_;
  std::unique_ptr<Program> program_;
  std::vector<std::unique_ptr<SimProcess>> sims_;
  std::vector<Log> logs_;
  // The tests' own hooks: before each write, and at each yield with the status line.
  std::function<void(const QByteArray& frame)> atWrite_;
  std::function<void(const QString& status)> atYield_;
  bool faultOn_ = false, dead_ = false;
  int faultsSwitched_ = 0;
  double lastFailure_ = 0;
  int liftAfter_ = kFailuresToLift;
  int failuresInFault_ = 0, failedReads_ = 0, deadWrites_ = 0;
  int reads_ = 0, writes_ = 0, faults_ = 0;  // by the program; by the simulators
};

TEST_P(LineFaults, StartupCheckRetriesUntilTheLineIsGood) {
  faultFromTheStart();
  int status = 0;
  const double t0 = beginPhase();
  const bool started = startProgram(&status);
  const DataBlockWords controller = checkLogs({});
  report("start-up", platform_.now() - t0);
  ASSERT_FALSE(platform_.boxes.empty());
  const MessageBoxRequest& last = platform_.boxes.back();
  if (started) {
    // Only "No response" boxes, answered with Retry; then the block read.
    for (const MessageBoxRequest& box : platform_.boxes)
      EXPECT_EQ(box.buttons, MsgButtons::RetryCancel) << box.text.toStdString();
    EXPECT_TRUE(program_->form().isVisible());
    EXPECT_EQ(program_->commands.DataBlock, controller) << "the block as the controller holds it";
  } else {
    // An answer of the wrong length ends the program after its box.
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(last.text.startsWith("Invalid response from frmOVX")) << last.text.toStdString();
    EXPECT_FALSE(program_->form().isVisible());
  }
  // Only a bad answer (not silence or no line) may end the start.
  const bool badAnswers = QStringList{"cut", "corrupt"}.contains(GetParam().name);
  EXPECT_TRUE(started || badAnswers);
}

TEST_P(LineFaults, StartupCheckCancelEndsTheProgram) {
  faultFromTheStart();
  liftAfter_ = 1000;
  platform_.onBox = [](const MessageBoxRequest&) { return MsgAnswer::Cancel; };
  int status = 0;
  const double t0 = beginPhase();
  const bool started = startProgram(&status);
  checkLogs({});
  report("start-cancel", platform_.now() - t0);
  // Corruption spares most answers: the start may succeed.
  if (started && corrupt()) return;
  ASSERT_FALSE(started);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(platform_.boxes.size(), 1u);
  EXPECT_FALSE(program_->form().isVisible());
}

TEST_P(LineFaults, HeaterSwitch) {
  ASSERT_TRUE(startProgram());
  faultOn();
  const double t0 = beginPhase();
  // Corruption stays on and spoils only some answers: more switches meet it.
  const int switches = corrupt() ? 11 : 3;
  for (int i = 0; i < switches; ++i) program_->form().ops().SwitchHeaterOutput(i % 2 == 0);
  const DataBlockWords controller = checkLogs({{{kHeaterOutput, 1}}, {{kHeaterOutput, 0}}});
  report("heater switch", platform_.now() - t0);
  frmOVX& form = program_->form();
  EXPECT_EQ(form.statusLine(), "Ready");
  // The indicator shows what the controller holds.
  EXPECT_EQ(program_->commands.DataBlock, controller);
  EXPECT_EQ(form.HeaterStatus->text(), controller[kHeaterOutput] == 1 ? "ON" : "OFF");
  EXPECT_TRUE(controller[kHeaterOutput] == 1 || corrupt());
}

TEST_P(LineFaults, SteadyStateWait) {
  ASSERT_TRUE(startProgram());
  int passes = 0;
  atYield_ = [&](const QString&) {
    if (++passes == 3 && !faultsSwitched_) faultOn();  // after two good passes
  };
  frmOVX& g = program_->form();
  g.OKFlag = g.CancelFlag = false;
  const double t0 = beginPhase();
  program_->form().ops().WaitForSteadyState(kAmbient);
  checkLogs({});
  report("steady state", platform_.now() - t0);
  frmOVX& form = program_->form();
  EXPECT_FALSE(g.OKFlag || g.CancelFlag);
  EXPECT_EQ(form.statusLine(), "Ready");
  EXPECT_FALSE(form.BtnOK->isVisible());
  EXPECT_EQ(writes_, 0);
  EXPECT_GE(failedReads_, corrupt() ? 0 : kFailuresToLift);
}

// A run from one degree above ambient down to ambient, 1 s dwell. The fault goes
// on at the end of the first dwell, so it meets the second step's block read;
// that step is steady whatever a restarted controller holds.
TEST_P(LineFaults, TemperatureRun) {
  QFile par(folder_ + "/pid.par");
  ASSERT_TRUE(par.open(QIODevice::WriteOnly));
  par.write(QByteArray::number(kAmbient + 1) + "=P" + QByteArray::number(kRunSet.P) + "I" +
            QByteArray::number(kRunSet.I) + "D" + QByteArray::number(kRunSet.D) + "\r\n");
  par.close();
  ASSERT_TRUE(startProgram());
  atYield_ = [&](const QString& line) {
    if (line.startsWith("Dwell time: 0") && !faultsSwitched_) faultOn();
  };
  program_->OpenTemperatureRun();
  frmTRun& dialog = *program_->temperatureRun();
  dialog.TStart->setText(QString::number(kAmbient + 1));
  dialog.TStop->setText(QString::number(kAmbient));
  dialog.TStep->setText("1");
  dialog.DwellTime->setText("1");
  const double t0 = beginPhase();
  dialog.BtnStart_Click();
  std::vector<Asked> asked{{{kHeaterOutput, 1}}};
  for (const int T : {kAmbient + 1, kAmbient})
    asked.push_back({{kSetpoint, T},
                     {kPTerm, kRunSet.P},
                     {kITerm, kRunSet.I},
                     {kDTerm, kRunSet.D},
                     {kHeaterOutput, 1}});
  const DataBlockWords controller = checkLogs(asked);
  report("temperature run", platform_.now() - t0);
  EXPECT_EQ(writes_, 3);  // the heater switch and one per step
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(program_->form().CancelFlag);
  EXPECT_EQ(program_->form().statusLine(), "Ready");
  EXPECT_EQ(controller[kSetpoint], kAmbient);
  EXPECT_EQ(controller[kHeaterOutput], 1);
}

// A character changed on the line keeps the length of an answer: the
// checksum in its trailer tells. A trailer that holds no checksum is not
// examined.
TEST(LineFaultsAnswer, ChecksumInTheTrailerDecides) {
  const QByteArray field = EncodeDataBlock(DefaultParameterSet());
  const QByteArray good = "A001NT OVX 7316  " + field + Checksum(field) + "Q\r\n";
  auto changed = [&](int position, char c) {
    QByteArray response = good;
    response[position] = c;
    return response;
  };
  const struct {
    QByteArray response;
    bool valid;
  } cases[] = {
      {good, true},
      {changed(20, '~'), false},                            // in the data field
      {changed(110, good[110] == 'A' ? 'B' : 'A'), false},  // a checksum digit
      {changed(3, '~'), true},                              // in the header
      {changed(113, 'R'), true},                            // no "Q": no checksum
      {changed(109, 'x'), true},                            // no hex digit: no checksum
      {QByteArray(17, ' ') + field + "       ", true},      // blanks
      {good.chopped(1), false},
      {good + " ", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckResponse(c.response, BlockKind::Data) == Outcome::Answered, c.valid)
        << c.response.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, LineFaults, testing::ValuesIn(kModes),
                         [](const testing::TestParamInfo<FaultMode>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace ovx::test
