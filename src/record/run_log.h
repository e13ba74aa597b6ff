// The run log: every temperature run and every self-optimizing writes its
// own CSV file into the folder "runs" beside "pid.par", named by its local
// start time and kind ("2026-12-06_14-03-27_run.csv", "..._selfopt.csv").
// Comment lines tell what ran with which settings; then come the header and
// one row per reading and per event, in time order.
//
// Each row is on disk when the callback that brought it returns, which is
// before the next exchange on the line: a crash loses at most the row being
// written, and the file always ends with whole rows. A log that cannot be
// written is given up for the rest of its run and told once; the run goes on.
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

class RunLog : public LinkListener, public OperationListener {
 public:
  RunLog(Platform& platform, const Settings& settings);

  // The serial device behind the port, for the comment lines.
  void setDevice(const QString& device) { device_ = device; }
  // Told, once per log, that and why it cannot be written.
  std::function<void(const QString& notice)> onTrouble;
  // The file of the run in progress; empty when none is being written.
  QString path() const { return file_ ? file_->path() : QString(); }

  void readingTaken(const Reading& reading) override;
  void dataBlockSent(const DataBlockWords& words, bool fromMemory) override;
  void eventPosted(const OperationEvent& event) override;

 private:
  void begin(const OperationEvent& start);
  QString comments(const OperationEvent& start) const;
  // Writes the row at `time` on the program's clock; the wall-clock time is
  // the start's plus the elapsed time, so rows never jump with the clock.
  void write(double time, CsvRow row);
  void append(const QByteArray& bytes);
  // Gives the log up and tells why.
  void fail(const QString& path, const FileError& reason);

  Platform& platform_;
  const Settings& settings_;
  QString device_;
  std::unique_ptr<AppendFile> file_;
  double start_ = 0;
  QDateTime wallStart_;
  std::optional<int> setpoint_;  // W as last read or written
};

}  // namespace ovx
