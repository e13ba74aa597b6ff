#include "protocol/pidtext.h"

#include <QList>
#include <QString>
#include <cmath>
#include <optional>

#include "protocol/numtext.h"

namespace ovx {
namespace {

// The file's lines without their ends. Lines end with CR LF; a file written
// elsewhere with LF alone reads the same. Bytes after the last line end form
// one more line.
QList<QByteArray> fileLines(const QByteArray& content) {
  QList<QByteArray> lines = content.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  for (QByteArray& line : lines)
    if (line.endsWith('\r')) line.chop(1);
  return lines;
}

QByteArray joinLines(const QList<QByteArray>& lines) {
  QByteArray out;
  for (const QByteArray& line : lines) out += line + "\r\n";
  return out;
}

double LeadingValue(const QByteArray& text) {
  return LeadingNumber(QString::fromLatin1(text));
}

// The setpoint of a PID line made whole (it may lie outside 16 bits), or
// nullopt for any other line. A PID line begins with a number and holds "P",
// "=", "I" and "D" somewhere (after upper-casing); a remark such as
// "; PID set = tuned" holds the letters but no number at its start.
std::optional<double> pidLineSetpoint(const QByteArray& upper) {
  if (!(upper.contains('P') && upper.contains('=') && upper.contains('I') && upper.contains('D')))
    return std::nullopt;
  const std::optional<double> setpoint = NumberAtStart(QString::fromLatin1(upper));
  if (!setpoint) return std::nullopt;
  return std::nearbyint(*setpoint);
}

// The set of a selected line; nullopt when its letters stand out of order or
// a number does not fit 16 bits.
std::optional<PidSet> ParseSet(const QByteArray& upper) {
  const qsizetype p = upper.indexOf('P');
  const qsizetype i = upper.indexOf('I');
  const qsizetype d = upper.indexOf('D');
  if (!(p < i && i < d)) return std::nullopt;
  const auto setpoint = ToInt16(LeadingValue(upper));
  const auto P = ToInt16(LeadingValue(upper.mid(p + 1, i - p - 1)));
  const auto I = ToInt16(LeadingValue(upper.mid(i + 1, d - i - 1)));
  const auto D = ToInt16(LeadingValue(upper.mid(d + 1)));
  if (!setpoint || !P || !I || !D) return std::nullopt;
  return PidSet{*P, *I, *D};
}

}  // namespace

PidLookup LookupPidSet(const QByteArray& content, int16_t setpoint) {
  PidLookup found;
  for (const QByteArray& line : fileLines(content)) {
    const QByteArray upper = line.toUpper();
    const std::optional<double> stored = pidLineSetpoint(upper);
    if (!stored || *stored < setpoint) continue;
    found.line = upper;
    const auto set = ParseSet(upper);
    found.result = set ? PidLookup::Result::Found : PidLookup::Result::Invalid;
    if (set) found.set = *set;
    return found;
  }
  return found;
}

QByteArray RewritePidText(const QByteArray& content, int16_t setpoint, const PidSet& set) {
  const QByteArray newLine = QByteArray::number(setpoint) + "=P" + QByteArray::number(set.P) + "I" +
                             QByteArray::number(set.I) + "D" + QByteArray::number(set.D);
  QList<QByteArray> out;
  bool placed = false;
  for (const QByteArray& line : fileLines(content)) {
    const QByteArray upper = line.toUpper();
    const std::optional<double> stored = pidLineSetpoint(upper);
    if (!stored) {
      out.append(line);
      continue;
    }
    if (!placed) {
      if (*stored == setpoint) {
        out.append(newLine);
        placed = true;
        continue;
      }
      if (*stored > setpoint) {
        out.append(newLine);
        placed = true;
      }
    }
    out.append(upper);
  }
  if (!placed) out.append(newLine);
  return joinLines(out);
}

}  // namespace ovx
