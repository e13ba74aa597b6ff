#include "record/run_log.h"

#include <QStringList>
#include <cmath>

#include "protocol/numtext.h"

namespace ovx {

namespace {

// A time of the run as the operator reads it in a box.
QString ShownTime(const QDateTime& time) {
  return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// W as a setpoint in force: none when it did not decode.
std::optional<int> Setpoint(int16_t word) {
  return word == kNoValue ? std::nullopt : std::optional<int>(word);
}

// "undecodable: W_C P": the columns of a reading whose words did not decode
// (their cells stay empty); empty when all did.
QString Undecodable(const CsvRow& row) {
  QStringList columns;
  const std::pair<const char*, std::optional<int>> cells[] = {
      {"W_C", row.W}, {"X_C", row.X}, {"P", row.P}, {"I", row.I}, {"D", row.D}};
  for (const auto& [name, value] : cells)
    if (value == kNoValue) columns << QLatin1String(name);
  return columns.isEmpty() ? QString() : QStringLiteral("undecodable: ") + columns.join(' ');
}

// The head's lines that the reader reads back: "# T-Start: 900 °C".
constexpr const char* kStartKey = "start";
constexpr const char* kKindKey = "kind";
constexpr const char* kTemperatureRun = "temperature run";
constexpr const char* kTStartKey = "T-Start";
constexpr const char* kTStopKey = "T-Stop";
constexpr const char* kIncrementKey = "Increment";
constexpr const char* kDwellKey = "Dwell time";

QString Head(const char* key, const QString& value) {
  return QLatin1String(key) + QStringLiteral(": ") + value;
}

}  // namespace

RunRecord ReadRunLog(const QByteArray& log, const std::function<void(const CsvRow&)>& each) {
  using Kind = OperationEvent::Kind;
  using Phase = RunRecord::Phase;
  RunRecord r;
  for (qsizetype at = 0, end; (end = log.indexOf('\n', at)) >= 0; at = end + 1) {
    const QByteArrayView line = QByteArrayView(log).sliced(at, end + 1 - at);
    r.length = end + 1;
    if (line.startsWith("# ")) {
      const QString text = QString::fromUtf8(line.sliced(2)).trimmed();
      const QString key = text.section(QStringLiteral(": "), 0, 0);
      const QString value = text.section(QStringLiteral(": "), 1);
      const auto number = [&] { return static_cast<int16_t>(LeadingNumber(value)); };
      if (key == QLatin1String(kStartKey))
        r.start = QDateTime::fromString(value, Qt::ISODateWithMs);
      if (key == QLatin1String(kKindKey))
        r.temperatureRun = value == QLatin1String(kTemperatureRun);
      if (key == QLatin1String(kTStartKey)) r.tStart = number();
      if (key == QLatin1String(kTStopKey)) r.tStop = number();
      if (key == QLatin1String(kIncrementKey)) r.increment = number();
      if (key == QLatin1String(kDwellKey)) r.dwell = number();
      continue;
    }
    const std::optional<CsvRow> row = ReadCsvLine(line);
    if (!row) continue;
    r.lastRow = row->time;
    if (each) each(*row);
    const std::optional<OperationEvent> e = ReadEvent(row->event);
    if (!e) continue;
    switch (e->kind) {
      case Kind::StepStarted:
        r.setpoint = row->W ? std::optional<int16_t>(static_cast<int16_t>(*row->W)) : std::nullopt;
        r.phase = Phase::Waiting;
        r.dwellDone = 0;
        r.held = false;
        break;
      case Kind::SteadyReached:
        if (r.phase == Phase::Waiting) r.phase = Phase::Dwelling;
        break;
      case Kind::OperatorOK:
        r.phase = r.phase == Phase::Waiting ? Phase::Dwelling : Phase::Done;
        break;
      case Kind::DwellDone:
        r.phase = Phase::Done;
        break;
      case Kind::DwellProgress:
      case Kind::DwellHeld:
      case Kind::DwellContinued:
        r.phase = Phase::Dwelling;
        r.dwellDone = e->seconds;
        r.held = e->kind == Kind::DwellHeld;
        break;
      case Kind::RunResumed:
        // The step waits for steady state again, or is left for the next.
        r.phase = e->nextStep ? Phase::Done : r.phase == Phase::Done ? Phase::Done : Phase::Waiting;
        break;
      // An alarm whose action switched the heater off ends the run.
      case Kind::AlarmRaised:
        r.alarm = r.alarm || e->heaterOff;
        break;
      case Kind::HeaterSwitched:
        r.alarm = r.alarm || e->byAlarm;
        break;
      case Kind::RunEnded:
      case Kind::OperatorCancel:
      case Kind::RunNotResumed:
        r.ended = true;
        r.alarm = r.alarm || e->byAlarm;
        break;
      default:
        break;
    }
  }
  return r;
}

int StepNumber(int tStart, int increment, int setpoint) {
  return increment == 0 ? 1 : (setpoint - tStart) / increment + 1;
}

int StepCount(int tStart, int tStop, int increment) {
  return increment == 0 ? 1 : (tStop - tStart) / increment + 1;
}

RunLog::RunLog(Platform& platform, const Settings& settings)
    : platform_(platform), settings_(settings) {}

void RunLog::readingTaken(const Reading& reading) {
  const bool answered = reading.outcome == Outcome::Answered;
  if (answered && reading.block == BlockKind::Data) setpoint_ = Setpoint(reading.words[kSetpoint]);
  if (!file_) return;
  CsvRow row;
  if (!answered) {
    row.event = FailedReadText(reading.outcome == Outcome::NoAnswer);
  } else if (reading.block == BlockKind::Data) {
    const DataBlockWords& w = reading.words;
    row.W = w[kSetpoint];
    row.heater = w[kHeaterOutput];
    row.P = w[kPTerm], row.I = w[kITerm], row.D = w[kDTerm];
  } else {
    // The value block does not carry the setpoint: the one in force.
    row.W = setpoint_;
    row.X = reading.values.ActualTemperature;
    row.heater = reading.values.OutputStatus;
    row.optStatus = reading.values.OptimizationStatus;
  }
  if (answered) row.event = Undecodable(row);
  write(reading.time, row);
}

void RunLog::dataBlockSent(const DataBlockWords& words, bool) {
  setpoint_ = Setpoint(words[kSetpoint]);
}

void RunLog::eventPosted(const OperationEvent& event) {
  using Kind = OperationEvent::Kind;
  if (event.kind == Kind::RunStarted) begin(event);
  CsvRow row;
  row.event = Describe(event);
  switch (event.kind) {
    case Kind::RunStarted:
      row.W = event.words[kSetpoint];
      row.heater = event.words[kHeaterOutput];
      row.P = event.words[kPTerm], row.I = event.words[kITerm], row.D = event.words[kDTerm];
      break;
    case Kind::StepStarted:
      row.W = event.setpoint;
      row.P = event.pid.P, row.I = event.pid.I, row.D = event.pid.D;
      break;
    case Kind::SelfOptimizingFinished:
      row.P = event.pid.P, row.I = event.pid.I, row.D = event.pid.D;
      break;
    case Kind::SetpointWritten:
    case Kind::SelfOptimizingStarted:
    case Kind::RunResumed:
      row.W = event.setpoint;
      break;
    case Kind::HeaterSwitched:
      row.heater = event.on ? 1 : 0;
      break;
    default:
      break;
  }
  write(event.time, row);
  if (event.kind == Kind::RunEnded || event.kind == Kind::ProgramEnding) end();
}

void RunLog::resume(const QString& path, const RunRecord& record, const DataBlockWords& words) {
  end();
  // The run as its log's head tells it, and the data block now: for a head
  // written again, should the file go during the run.
  OperationEvent start(OperationEvent::Kind::RunStarted);
  start.tStart = record.tStart, start.tStop = record.tStop;
  start.increment = record.increment, start.dwell = record.dwell;
  start.words = words;
  wallStart_ = record.start;
  // The rows go on with the run's elapsed time, gap included.
  start.time = platform_.now() - double(wallStart_.msecsTo(platform_.wallClock())) / 1000;
  start_ = start;
  lastRow_ = record.lastRow;
  setpoint_ = record.setpoint;
  FileError error;
  file_ = platform_.openAppendFile(path, record.length, error);
  if (!file_) fail(path, error, platform_.wallClock());
}

void RunLog::begin(const OperationEvent& start) {
  end();
  start_ = start;
  wallStart_ = platform_.wallClock();
  setpoint_ = Setpoint(start.words[kSetpoint]);

  const QString folder = settings_.Dir + QStringLiteral("runs");
  if (const FileError error = platform_.createFolder(folder); !error.isEmpty()) {
    fail(folder, error, wallStart_);
    return;
  }
  const bool selfOptimizing = start.run == OperationEvent::Run::SelfOptimizing;
  open(folder + platform_.pathSeparator() +
           wallStart_.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
           (selfOptimizing ? QStringLiteral("_selfopt.csv") : QStringLiteral("_run.csv")),
       QString(), wallStart_);
}

void RunLog::open(const QString& path, const QString& extra, const QDateTime& at) {
  FileError error;
  file_ = platform_.createAppendFile(path, error);
  if (!file_) {
    fail(path, error, at);
    return;
  }
  // One append for the head, so that it is there whole or not at all.
  append(comments(extra).toUtf8() + CsvHeader(), at);
}

QString RunLog::comments(const QString& extra) const {
  const Settings& g = settings_;
  const OperationEvent& start = *start_;
  const DataBlockWords& w = start.words;
  const QString degrees = QStringLiteral(" °C");
  auto word = [](int16_t v) { return TrimBlanks(BlankSignedWord(v)); };
  QStringList lines{QStringLiteral("program: ovx ") + QStringLiteral(OVX_VERSION),
                    Head(kStartKey, IsoTime(wallStart_))};
  if (start.run == OperationEvent::Run::SelfOptimizing) {
    lines << Head(kKindKey, QStringLiteral("self-optimizing"))
          << QStringLiteral("Setpoint: ") + Plain(start.setpoint) + degrees;
  } else {
    lines << Head(kKindKey, QLatin1String(kTemperatureRun))
          << Head(kTStartKey, Plain(start.tStart) + degrees)
          << Head(kTStopKey, Plain(start.tStop) + degrees)
          << Head(kIncrementKey, Plain(start.increment) + degrees)
          << Head(kDwellKey, Plain(start.dwell) + QStringLiteral(" s"));
  }
  QString port = QStringLiteral("Port: COM") + QString::number(g.Port);
  if (!device_.isEmpty()) port += QStringLiteral(" on ") + device_;
  lines << QStringLiteral("ControlLoopNumber: ") + Plain(g.ControlLoopNumber) << port
        << QStringLiteral("Settings: ") + g.ComSettings
        << QStringLiteral("TxDelay: ") + PlainSingle(g.TxDelay) + QStringLiteral(" s")
        << QStringLiteral("RxDelay: ") + PlainSingle(g.RxDelay) + QStringLiteral(" s")
        << QStringLiteral("data block: W ") + word(w[kSetpoint]) + QStringLiteral(", SP L ") +
               word(w[kSetpointLow]) + QStringLiteral(", SP H ") + word(w[kSetpointHigh]) +
               QStringLiteral(", P ") + word(w[kPTerm]) + QStringLiteral(", I ") + word(w[kITerm]) +
               QStringLiteral(", D ") + word(w[kDTerm]);
  if (!extra.isEmpty()) lines << extra;
  QString text;
  for (const QString& line : lines) text += QStringLiteral("# ") + line + CRLF;
  return text;
}

void RunLog::write(double time, CsvRow row) {
  if (!file_) return;
  const qint64 ms = std::llround((time - start_->time) * 1000);
  row.time = wallStart_.addMSecs(ms);
  row.elapsed = ms / 1000.0;
  // Rows appended to a file that is gone would be lost without a word.
  if (file_->detached()) replaceLost(row.time);
  if (file_) append(CsvLine(row), row.time);
}

void RunLog::replaceLost(const QDateTime& at) {
  const QString old = file_->path();
  file_.reset();
  lost_ << QStringLiteral("Removed or replaced before ") + ShownTime(at) +
               QStringLiteral(", with the rows written until then:") + CRLF + old;
  // The folder may have gone with it; a failure shows when the file is made.
  platform_.createFolder(settings_.Dir + QStringLiteral("runs"));
  open(old,
       QStringLiteral("continues: ") + old + QStringLiteral(", removed or replaced between ") +
           IsoTime(lastRow_) + QStringLiteral(" and ") + IsoTime(at),
       at);
  if (!file_) return;  // told as a failure
  lost_.last() += CRLF + QStringLiteral("The rows from then on are in:") + CRLF + file_->path();
  if (onTrouble)
    onTrouble(QStringLiteral("Run log ") + old + QStringLiteral(" was removed or replaced; ") +
                  QStringLiteral("its rows go on in ") + file_->path() + QStringLiteral("."),
              true);
}

void RunLog::append(const QByteArray& bytes, const QDateTime& at) {
  if (const FileError error = file_->append(bytes); !error.isEmpty())
    fail(file_->path(), error, at);
  else
    lastRow_ = at;
}

void RunLog::fail(const QString& path, const FileError& reason, const QDateTime& from) {
  file_.reset();
  lost_ << QStringLiteral("Nothing written from ") + ShownTime(from) + QStringLiteral(" on (") +
               reason + QStringLiteral("):") + CRLF + path;
  if (onTrouble)
    onTrouble(QStringLiteral("No run log: cannot write ") + path + QStringLiteral(" (") + reason +
                  QStringLiteral("); the run goes on."),
              false);
}

void RunLog::end() {
  file_.reset();
  if (!start_ || lost_.isEmpty()) return;
  const bool selfOptimizing = start_->run == OperationEvent::Run::SelfOptimizing;
  const QString report =
      QStringLiteral("The log of the ") +
      (selfOptimizing ? QStringLiteral("self-optimizing") : QStringLiteral("temperature run")) +
      QStringLiteral(" started ") + ShownTime(wallStart_) + QStringLiteral(" is not whole.") +
      CRLF + CRLF + lost_.join(CRLF + CRLF);
  lost_.clear();
  if (onLost) onLost(report);
}

}  // namespace ovx
