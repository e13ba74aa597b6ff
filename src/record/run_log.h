// The run log: every temperature run and every self-optimizing writes its
// own CSV file into the folder "runs" beside "pid.par", named by its local
// start time and kind ("2026-12-06_14-03-27_run.csv", "..._selfopt.csv").
// Comment lines tell what ran with which settings; then come the header and
// one row per reading and per event, in time order.
//
// Each row is on disk when the callback that brought it returns, which is
// before the next exchange on the line: a crash loses at most the row being
// written, and the file always ends with whole rows. A log that cannot be
// written is given up for the rest of its run and told; the run goes on. A
// log file removed or replaced during the run is noticed at the next row,
// and a new one takes its rows from there, its head naming the old one and
// the time of the break. At the end of a run whose log is not whole, what
// was lost, since when and why is told once more.
//
// The log is also the journal of the run: ReadRunLog reads it back with the
// same row format, and a run resumed after a crash goes on in its log.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "link/listener.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "record/csv.h"
#include "record/events.h"

namespace ovx {

// What a temperature run's log says of the run.
struct RunRecord {
  bool temperatureRun = false;  // its kind is "temperature run"
  QDateTime start;              // of the run
  int16_t tStart = 0, tStop = 0, increment = 0, dwell = 0;
  // The setpoint of the last step begun; none before the first.
  std::optional<int16_t> setpoint;
  // Where that step is: waiting for steady state (also again, after a
  // resume), counting its dwell down, or done with it.
  enum class Phase { Waiting, Dwelling, Done };
  Phase phase = Phase::Waiting;
  double dwellDone = 0;  // seconds of the step's dwell counted down
  bool held = false;     // the dwell was held by the operator
  bool ended = false;    // it ended: "end", cancelled, or not resumed
  bool alarm = false;    // an alarm of the watch stopped it (switched the heater off)
  QDateTime lastRow;     // the time of its last row
  qint64 length = 0;     // bytes up to the end of its last whole line
};

// Reads a log back: its head, and its rows in order (each handed to `row`
// when given). A line that is no row is skipped; one cut short by a crash
// ends it.
RunRecord ReadRunLog(const QByteArray& log, const std::function<void(const CsvRow&)>& row = {});

// The steps of a run: T-Start, then on by the increment while T-Stop is not
// passed. The number of the step at `setpoint` (from 1), and how many there are.
int StepNumber(int tStart, int increment, int setpoint);
int StepCount(int tStart, int tStop, int increment);

class RunLog : public LinkListener, public OperationListener {
 public:
  RunLog(Platform& platform, const Settings& settings);

  // The serial device behind the port, for the comment lines.
  void setDevice(const QString& device) { device_ = device; }
  // Told at each trouble with the run's log, at once: what happened, and
  // whether the rows go on into a file (a new one, after the old one was
  // removed) or are lost from now on.
  std::function<void(const QString& notice, bool keptOn)> onTrouble;
  // Told when a log that had trouble ends with its run: what was lost, from
  // which time, and why ("The log of the temperature run started ... is not
  // whole. ...").
  std::function<void(const QString& report)> onLost;
  // The file of the run in progress; empty when none is being written.
  QString path() const { return file_ ? file_->path() : QString(); }

  void readingTaken(const Reading& reading) override;
  void dataBlockSent(const DataBlockWords& words, bool fromMemory) override;
  void eventPosted(const OperationEvent& event) override;

  // Goes on with the log at `path` of an interrupted run, read back as
  // `record`, the controller holding `words`: rows follow its last whole
  // row, their times counted on from the run's start. Told as trouble when
  // it cannot be written.
  void resume(const QString& path, const RunRecord& record, const DataBlockWords& words);

 private:
  void begin(const OperationEvent& start);
  // Creates the run's file at `path` (or beside it) with its head, which
  // ends with the comment `extra` when that is given.
  void open(const QString& path, const QString& extra, const QDateTime& at);
  QString comments(const QString& extra) const;
  // Writes the row at `time` on the program's clock; the wall-clock time is
  // the start's plus the elapsed time, so rows never jump with the clock.
  void write(double time, CsvRow row);
  // A new file in place of one that is gone, noticed with the row at `at`.
  void replaceLost(const QDateTime& at);
  void append(const QByteArray& bytes, const QDateTime& at);
  // Gives the log up from `from` on and tells why.
  void fail(const QString& path, const FileError& reason, const QDateTime& from);
  // Closes the run's log; tells what was lost, if anything.
  void end();

  Platform& platform_;
  const Settings& settings_;
  QString device_;
  std::unique_ptr<AppendFile> file_;
  std::optional<OperationEvent> start_;  // of the run being logged
  QDateTime wallStart_;
  QDateTime lastRow_;            // wall time of the last row on disk
  std::optional<int> setpoint_;  // W as last read or written
  QStringList lost_;             // what went wrong in this run, a paragraph each
};

}  // namespace ovx
