#include "record/csv.h"

#include <QStringList>
#include <optional>

#include "protocol/blocks.h"

namespace ovx {

QByteArray CsvHeader() {
  return "time,elapsed_s,W_C,X_C,heater,opt_status,P,I,D,event\r\n";
}

QString IsoTime(const QDateTime& time) {
  const int offset = time.offsetFromUtc();
  const int minutes = (offset < 0 ? -offset : offset) / 60;
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
         (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
         QStringLiteral("%1:%2")
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString CsvField(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
      !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
    return text;
  QString quoted = text;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString FailedReadText(bool noAnswer) {
  return noAnswer ? QStringLiteral("no answer") : QStringLiteral("invalid response");
}

QByteArray CsvLine(const CsvRow& row) {
  auto cell = [](const std::optional<int>& v) {
    return v && *v != kNoValue ? QString::number(*v) : QString();
  };
  const QStringList fields{IsoTime(row.time), QString::number(row.elapsed, 'f', 3),
                           cell(row.W),       cell(row.X),
                           cell(row.heater),  cell(row.optStatus),
                           cell(row.P),       cell(row.I),
                           cell(row.D),       CsvField(row.event)};
  return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

namespace {

constexpr int kColumns = 10;

// The fields of a line, a quoted one unquoted; null when a quote is left open.
std::optional<QStringList> Fields(const QString& line) {
  QStringList fields{QString()};
  bool quoted = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    const QChar c = line[i];
    if (quoted && c == QLatin1Char('"')) {
      if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
        fields.last() += line[++i];
      else
        quoted = false;
    } else if (quoted) {
      fields.last() += c;
    } else if (c == QLatin1Char('"')) {
      quoted = true;
    } else if (c == QLatin1Char(',')) {
      fields << QString();
    } else {
      fields.last() += c;
    }
  }
  if (quoted) return std::nullopt;
  return fields;
}

}  // namespace

std::optional<CsvRow> ReadCsvLine(QByteArrayView line) {
  if (line.endsWith("\r\n")) line.chop(2);
  const std::optional<QStringList> fields = Fields(QString::fromUtf8(line));
  if (!fields || fields->size() != kColumns) return std::nullopt;
  CsvRow row;
  row.time = QDateTime::fromString(fields->at(0), Qt::ISODateWithMs);
  bool number = false;
  row.elapsed = fields->at(1).toDouble(&number);
  if (!row.time.isValid() || !number) return std::nullopt;
  std::optional<int>* cells[] = {&row.W, &row.X, &row.heater, &row.optStatus,
                                 &row.P, &row.I, &row.D};
  for (int i = 0; i < 7; ++i) {
    const QString& text = fields->at(2 + i);
    if (text.isEmpty()) continue;
    *cells[i] = text.toInt(&number);
    if (!number) return std::nullopt;
  }
  row.event = fields->at(9);
  return row;
}

}  // namespace ovx
