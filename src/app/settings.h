// Reading "ovx.ini" into the program-wide settings.
#pragma once

#include <QString>

namespace ovx {

class Platform;
struct Settings;
struct WatchSettings;
struct MqttSettings;

// Reads the eight keys of sections [General] and [COM]; missing keys take
// the key's default. Returns why the settings cannot be used, as the text of
// the box that ends the start: a file that exists but cannot be read, a
// ControlLoopNumber or Port without a 16-bit magnitude (outside -32767..32767),
// an RxDelay or TxDelay that is negative or above 3.4E+38 seconds (beyond
// single precision), a [Run] ResumeWithin that is not a whole number of
// seconds up to a year.
// Empty when they can be used.
QString ReadSettings(Platform& platform, Settings& g);
// Reads section [Watch] into `watch`; missing or empty keys take their
// defaults. Returns, as the text of the same box, why a value cannot be
// used: anything but a whole number within its key's range (a slip would
// switch the watch off unseen). Empty when they can be used.
QString ReadWatchSettings(Platform& platform, const Settings& g, WatchSettings& watch);
// Reads section [MQTT], after ReadSettings. Without `Broker` the publisher
// stays off and nothing else is looked at. Returns the text of the box that
// ends the start: a Broker that is no "host" or "host:port" (port 1..65535),
// a Topic with "+" or "#", a PasswordFile that is not this user's own or
// that its group or others may read, a file that cannot be read, keys that
// go together given alone. Relative file names are in the settings folder.
// Empty when the settings can be used.
QString ReadMqttSettings(Platform& platform, const Settings& g, MqttSettings& mqtt);
// Title of those boxes.
inline constexpr const char* kSettingsFileTitle = "Settings File";

// Writes the five default entries of a new "ovx.ini".
void WriteDefaultSettings(Platform& platform);

}  // namespace ovx
