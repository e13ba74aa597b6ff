#include "protocol/profile.h"

#include <QStringDecoder>
#include <climits>
#include <vector>

namespace ovx::profile {
namespace {

bool isBlank(QChar c) {
  return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimSpaceAndTab(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.mid(first, last - first);
}

bool sameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line of the file: its bytes without the line end, and the line end as
// found ("\r\n", "\n" or nothing on an unterminated last line).
struct Line {
  QByteArray text;
  QByteArray end;
};

std::vector<Line> splitLines(const QByteArray& content) {
  std::vector<Line> lines;
  qsizetype start = 0;
  while (start < content.size()) {
    const qsizetype lf = content.indexOf('\n', start);
    if (lf < 0) {
      lines.push_back({content.mid(start), QByteArray()});
      break;
    }
    qsizetype stop = lf;
    if (stop > start && content[stop - 1] == '\r') --stop;
    lines.push_back({content.mid(start, stop - start), content.mid(stop, lf + 1 - stop)});
    start = lf + 1;
  }
  return lines;
}

enum class Kind { Other, Section, Entry };

// What a line is, with the section name or the key and value it holds.
struct Parsed {
  Kind kind = Kind::Other;
  QString name;  // section name or key
  QString value;
};

// A line's text. QString::fromUtf8 would drop a byte order mark at the start
// of any line, so a key written as "\uFEFFkey" would read as "key"; only the
// file's own mark is no text, and the callers remove it.
QString decodeLine(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  return decoder.decode(bytes);
}

Parsed parseLine(const QByteArray& bytes) {
  const QString line = trimSpaceAndTab(decodeLine(bytes));
  Parsed parsed;
  if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) return parsed;
  if (line.startsWith(QLatin1Char('['))) {
    // "[name]"; a missing "]" takes the rest of the line.
    qsizetype close = line.indexOf(QLatin1Char(']'));
    if (close < 0) close = line.size();
    parsed.kind = Kind::Section;
    parsed.name = trimSpaceAndTab(line.mid(1, close - 1));
    return parsed;
  }
  const qsizetype equals = line.indexOf(QLatin1Char('='));
  if (equals < 0) return parsed;
  parsed.kind = Kind::Entry;
  parsed.name = trimSpaceAndTab(line.left(equals));
  parsed.value = trimSpaceAndTab(line.mid(equals + 1));
  return parsed;
}

struct Located {
  std::optional<size_t> entry;         // line of the first matching entry
  std::optional<size_t> sectionStart;  // header of the first matching section
  size_t sectionLast = 0;              // last entry or header line of that section
};

// Finds section/key the way Lookup reads it: the first matching entry of any
// section of that name, in file order.
Located locate(const std::vector<Line>& lines, const QString& sectionName, const QString& keyName) {
  const QString section = trimSpaceAndTab(sectionName);
  const QString key = trimSpaceAndTab(keyName);
  Located found;
  bool inSection = false;
  bool inFirstSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    QByteArray text = lines[i].text;
    if (i == 0 && text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);  // UTF-8 mark
    const Parsed parsed = parseLine(text);
    if (parsed.kind == Kind::Section) {
      inSection = sameName(parsed.name, section);
      inFirstSection = inSection && !found.sectionStart;
      if (inFirstSection) {
        found.sectionStart = i;
        found.sectionLast = i;
      }
    } else if (parsed.kind == Kind::Entry && inSection) {
      if (inFirstSection) found.sectionLast = i;
      if (!found.entry && sameName(parsed.name, key)) found.entry = i;
    }
  }
  return found;
}

QString valueAt(const std::vector<Line>& lines, size_t index) {
  QByteArray text = lines[index].text;
  if (index == 0 && text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
  return parseLine(text).value;
}

bool hasLineBreak(const QString& text) {
  return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

}  // namespace

std::optional<QString> Lookup(const QByteArray& content, const QString& section,
                              const QString& key) {
  const std::vector<Line> lines = splitLines(content);
  const Located found = locate(lines, section, key);
  if (!found.entry) return std::nullopt;
  return valueAt(lines, *found.entry);
}

int ParseInt(const QString& value) {
  qsizetype i = 0;
  while (i < value.size() && isBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == QLatin1Char('-') || value[i] == QLatin1Char('+'))) {
    negative = value[i] == QLatin1Char('-');
    ++i;
  }
  // Accumulated in 64 bits and clamped, so long digit strings cannot overflow.
  long long magnitude = 0;
  for (; i < value.size() && value[i] >= QLatin1Char('0') && value[i] <= QLatin1Char('9'); ++i) {
    magnitude = magnitude * 10 + (value[i].unicode() - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1)
      magnitude = static_cast<long long>(INT_MAX) + 1;
  }
  const long long result = negative ? -magnitude : magnitude;
  if (result > INT_MAX) return INT_MAX;
  return static_cast<int>(result);
}

QByteArray WithValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& value) {
  if (!Representable(section, key, value)) return content;
  std::vector<Line> lines = splitLines(content);
  const Located found = locate(lines, section, key);
  const QByteArray entry = trimSpaceAndTab(key).toUtf8() + '=' + value.toUtf8();
  const QByteArray crlf("\r\n");

  if (found.entry) {
    lines[*found.entry] = {entry, crlf};
  } else if (found.sectionStart) {
    Line& before = lines[found.sectionLast];
    if (before.end.isEmpty()) before.end = crlf;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(found.sectionLast) + 1, {entry, crlf});
  } else {
    if (!lines.empty()) {
      if (lines.back().end.isEmpty()) lines.back().end = crlf;
      lines.push_back({QByteArray(), crlf});  // an empty line between sections
    }
    lines.push_back({'[' + trimSpaceAndTab(section).toUtf8() + ']', crlf});
    lines.push_back({entry, crlf});
  }

  QByteArray result;
  result.reserve(content.size() + entry.size() + section.size() + 8);
  for (const Line& line : lines) result += line.text + line.end;
  return result;
}

// Whether the entry can be written so that Lookup finds it again (names are
// taken without their surrounding blanks, as the reader sees them).
bool Representable(const QString& section, const QString& key, const QString& value) {
  if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
  if (section.contains(QLatin1Char(']'))) return false;
  const QString name = trimSpaceAndTab(key);
  if (name.isEmpty() || name.contains(QLatin1Char('='))) return false;
  return !name.startsWith(QLatin1Char(';')) && !name.startsWith(QLatin1Char('['));
}

}  // namespace ovx::profile
