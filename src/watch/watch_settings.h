// The settings of the watch, section [Watch] of "ovx.ini": its keys, their
// ranges and defaults.
#pragma once

#include <QString>
#include <array>
#include <optional>

namespace ovx {

struct WatchSettings {
  bool Enabled = false;
  int Interval = 5;                    // s between readings, at most
  std::optional<int> OverTemperature;  // °C; none: SP H + 20 of the data block as last read
  int Deviation = 25;                  // °C
  int DeviationTime = 300;             // s
  int NoAnswerTime = 60;               // s
  int RunawayTime = 120;               // s
  bool operator==(const WatchSettings&) const = default;
};

// One key of [Watch], with the whole numbers it may hold.
struct WatchKey {
  const char* name;
  int low, high;
  const char* unit;  // after the range in messages: "seconds", "°C" or empty
  // The value in the settings; none for OverTemperature when it is left to
  // its default.
  std::optional<int> (*get)(const WatchSettings&);
  void (*set)(WatchSettings&, std::optional<int>);
};

// The keys in the order of the file.
const std::array<WatchKey, 7>& WatchKeys();
// "Valid range: 1 ... 3600 seconds."
QString WatchRange(const WatchKey& key);
// The value of a key's text: empty for the key's default (none), a whole
// number within the key's range, or false when the text is neither.
bool ParseWatchValue(const WatchKey& key, const QString& text, std::optional<int>& value);

}  // namespace ovx
