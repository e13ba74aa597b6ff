#include "watch/watch_settings.h"

#include <cmath>

#include "protocol/numtext.h"

namespace ovx {

namespace {

template <int WatchSettings::*member>
std::optional<int> Get(const WatchSettings& s) {
  return s.*member;
}
template <int WatchSettings::*member>
void Set(WatchSettings& s, std::optional<int> value) {
  s.*member = value.value_or(WatchSettings().*member);
}

}  // namespace

const std::array<WatchKey, 7>& WatchKeys() {
  static const std::array<WatchKey, 7> keys{{
      {"Enabled", 0, 1, "",
       [](const WatchSettings& s) -> std::optional<int> { return s.Enabled ? 1 : 0; },
       [](WatchSettings& s, std::optional<int> v) { s.Enabled = v.value_or(0) != 0; }},
      {"Interval", 1, 3600, "seconds", Get<&WatchSettings::Interval>,
       Set<&WatchSettings::Interval>},
      // A whole 16-bit range would let a typing slip switch the check off.
      {"OverTemperature", 0, 3000, "°C", [](const WatchSettings& s) { return s.OverTemperature; },
       [](WatchSettings& s, std::optional<int> v) { s.OverTemperature = v; }},
      // Below 5 °C the zone could never be left by the 5 °C that clear it.
      {"Deviation", 5, 1000, "°C", Get<&WatchSettings::Deviation>, Set<&WatchSettings::Deviation>},
      {"DeviationTime", 0, 86400, "seconds", Get<&WatchSettings::DeviationTime>,
       Set<&WatchSettings::DeviationTime>},
      {"NoAnswerTime", 1, 86400, "seconds", Get<&WatchSettings::NoAnswerTime>,
       Set<&WatchSettings::NoAnswerTime>},
      {"RunawayTime", 1, 86400, "seconds", Get<&WatchSettings::RunawayTime>,
       Set<&WatchSettings::RunawayTime>},
  }};
  return keys;
}

QString WatchRange(const WatchKey& key) {
  const QString unit = QString::fromUtf8(key.unit);
  return QStringLiteral("Valid range: ") + QString::number(key.low) + QStringLiteral(" ... ") +
         QString::number(key.high) + (unit.isEmpty() ? QString() : QLatin1Char(' ') + unit) +
         QLatin1Char('.');
}

bool ParseWatchValue(const WatchKey& key, const QString& text, std::optional<int>& value) {
  if (text.trimmed().isEmpty()) {
    value.reset();
    return true;
  }
  const std::optional<double> number = WholeNumber(text);
  if (!number || *number != std::floor(*number) || *number < key.low || *number > key.high)
    return false;
  value = static_cast<int>(*number);
  return true;
}

}  // namespace ovx
