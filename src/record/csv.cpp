#include "record/csv.h"

#include <QStringList>

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

}  // namespace ovx
