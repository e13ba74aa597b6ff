// Rows of the furnace's record as CSV: the run log writes them, and the
// trend saves what it holds in the same columns.
//   time,elapsed_s,W_C,X_C,heater,opt_status,P,I,D,event
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace ovx {

struct CsvRow {
  QDateTime time;      // wall-clock time, written with its UTC offset
  double elapsed = 0;  // seconds since the start, on the program's clock
  std::optional<int> W, X, heater, optStatus, P, I, D;
  QString event;
};

// The header line, with its line end.
QByteArray CsvHeader();
// One row with its line end (CR LF). Numbers use "." whatever the locale;
// values a row does not have stay empty, and so do words that did not
// decode (kNoValue); the event is quoted when it holds a
// comma, a quote or a line break. UTF-8.
QByteArray CsvLine(const CsvRow& row);
// The row that CsvLine wrote as `line` (with or without its line end); null
// for a line that is no such row (the header, a comment, a row cut short).
std::optional<CsvRow> ReadCsvLine(QByteArrayView line);
// Local ISO 8601 time with milliseconds and UTC offset:
// "2026-12-06T14:03:27.005+01:00".
QString IsoTime(const QDateTime& time);
// A CSV field: as it is, or quoted with its quotes doubled.
QString CsvField(const QString& text);
// The event text of a read that got no block: "no answer", or "invalid
// response" when something else came.
QString FailedReadText(bool noAnswer);

}  // namespace ovx
