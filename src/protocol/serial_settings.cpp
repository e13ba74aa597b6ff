#include "protocol/serial_settings.h"

#include <QStringList>
#include <string_view>

namespace ovx {
namespace {

bool allDigits(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  return true;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const QString& text) {
  // Exactly "baud,parity,data,stop" with nothing around the fields: anything
  // unusual is refused rather than guessed at.
  const QStringList fields = text.split(QLatin1Char(','));
  if (fields.size() != 4) return std::nullopt;
  LineSettings settings;

  // Baud: a positive whole number; nine digits at most keep it within int.
  if (!allDigits(fields[0]) || fields[0].size() > 9) return std::nullopt;
  settings.baud = fields[0].toInt();
  if (settings.baud <= 0) return std::nullopt;

  if (fields[1].size() != 1) return std::nullopt;
  const char parity = static_cast<char>(fields[1][0].toLower().unicode());
  if (fields[1][0].unicode() > 127 ||
      std::string_view("neoms").find(parity) == std::string_view::npos)
    return std::nullopt;
  settings.parity = parity;

  if (fields[2].size() != 1 || fields[2][0] < QLatin1Char('4') || fields[2][0] > QLatin1Char('8'))
    return std::nullopt;
  settings.dataBits = fields[2][0].unicode() - '0';

  if (fields[3] == QLatin1String("1"))
    settings.stopBits = 1;
  else if (fields[3] == QLatin1String("1.5"))
    settings.stopBits = 1.5;
  else if (fields[3] == QLatin1String("2"))
    settings.stopBits = 2;
  else
    return std::nullopt;
  return settings;
}

}  // namespace ovx
