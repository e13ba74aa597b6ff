#include "app/settings.h"

#include <cmath>

#include "platform/platform.h"
#include "protocol/numtext.h"
#include "protocol/settings.h"
#include "watch/watch_settings.h"

namespace ovx {
namespace {

QString iniFile() {
  return QStringLiteral("ovx.ini");
}
constexpr qsizetype kMaxText = 143;  // a 144-character buffer with its terminator
// The largest delay, just below the largest single-precision value.
constexpr double kMaxDelay = 3.4e38;

// The longest ResumeWithin: a year.
constexpr int kMaxResumeWithin = 365 * 24 * 3600;

// A flag key: on for any number but 0, however large.
bool readFlag(Platform& platform, const char* section, const char* key, int defaultValue) {
  const int value =
      platform.profileInt(QLatin1String(section), QLatin1String(key), defaultValue, iniFile());
  return value != 0;
}

QString readText(Platform& platform, const char* section, const char* key,
                 const char* defaultValue) {
  return platform
      .profileString(QLatin1String(section), QLatin1String(key), QLatin1String(defaultValue),
                     iniFile())
      .left(kMaxText);
}

// The box text for a key whose value cannot be used: the key, its value as
// written and the file, then the values allowed.
QString unusable(Platform& platform, const Settings& g, const char* section, const char* key,
                 const QString& allowed) {
  return QStringLiteral("Invalid value '") + readText(platform, section, key, "") +
         QStringLiteral("' of '") + QLatin1String(key) + QStringLiteral("'") + CRLF +
         QStringLiteral("in Section [") + QLatin1String(section) + QStringLiteral("] of ") +
         g.WindowsDir + iniFile() + CRLF + allowed;
}

// The magnitude of an integer key into `value`; false when the number has
// none in 16 bits (outside -32767..32767): taken as another number, it would
// address another controller or port.
bool readMagnitude(Platform& platform, const char* section, const char* key, int16_t& value) {
  const int read = platform.profileInt(QLatin1String(section), QLatin1String(key), 1, iniFile());
  if (read < -32767 || read > 32767) return false;
  value = static_cast<int16_t>(read < 0 ? -read : read);
  return true;
}

// The leading number of a delay key into `seconds`; false when it is
// negative or beyond single precision, where a wait would never end.
bool readDelay(Platform& platform, const char* key, const char* defaultValue, float& seconds) {
  const double read = LeadingNumber(readText(platform, "COM", key, defaultValue));
  if (!(read >= 0 && read <= kMaxDelay)) return false;
  seconds = static_cast<float>(read);
  return true;
}

}  // namespace

QString ReadSettings(Platform& platform, Settings& g) {
  const QString path = g.WindowsDir + iniFile();
  const FileError unreadable = platform.whyUnreadable(path);
  if (!unreadable.isEmpty())
    return QStringLiteral("Unable to read file '") + path + QStringLiteral("':") + CRLF +
           unreadable;
  const QString range16 = QStringLiteral("Valid range: -32767 ... 32767.");
  if (!readMagnitude(platform, "General", "ControlLoopNumber", g.ControlLoopNumber))
    return unusable(platform, g, "General", "ControlLoopNumber", range16);

  g.Dir = readText(platform, "General", "Dir", "");
  if (!g.Dir.isEmpty()) {
    g.Dir = TrimBlanks(g.Dir);
    const QString separator = platform.pathSeparator();
    if (!g.Dir.endsWith(separator)) g.Dir += separator;
  }

  g.Debug = readFlag(platform, "General", "Debug", 0);
  g.Sound = readFlag(platform, "General", "Sound", -1);
  if (!readMagnitude(platform, "COM", "Port", g.Port))
    return unusable(platform, g, "COM", "Port", range16);
  g.ComSettings = readText(platform, "COM", "Settings", "9600,n,8,1");
  const QString delays = QStringLiteral("Valid range: 0 ... 3.4E+38 seconds.");
  if (!readDelay(platform, "RxDelay", "0", g.RxDelay))
    return unusable(platform, g, "COM", "RxDelay", delays);
  if (!readDelay(platform, "TxDelay", "1", g.TxDelay))
    return unusable(platform, g, "COM", "TxDelay", delays);
  // A whole number of seconds: a text that is none would otherwise read as
  // 0 and turn the offer off without a word.
  const std::optional<double> within =
      WholeNumber(readText(platform, "Run", "ResumeWithin", "3600"));
  if (!within || *within != std::floor(*within) || *within < 0 || *within > kMaxResumeWithin)
    return unusable(platform, g, "Run", "ResumeWithin",
                    QStringLiteral("Valid range: 0 ... ") + QString::number(kMaxResumeWithin) +
                        QStringLiteral(" seconds (0: never offered)."));
  g.ResumeWithin = static_cast<int>(*within);
  return {};
}

QString ReadWatchSettings(Platform& platform, const Settings& g, WatchSettings& watch) {
  watch = WatchSettings();
  for (const WatchKey& key : WatchKeys()) {
    std::optional<int> value;
    if (!ParseWatchValue(key, readText(platform, "Watch", key.name, ""), value))
      return unusable(platform, g, "Watch", key.name, WatchRange(key));
    key.set(watch, value);
  }
  return {};
}

void WriteDefaultSettings(Platform& platform) {
  // The results are not examined: a file that cannot be written reads as
  // missing, and every key then takes its default.
  platform.writeProfileString(QStringLiteral("General"), QStringLiteral("ControlLoopNumber"),
                              QStringLiteral("1"), iniFile());
  platform.writeProfileString(QStringLiteral("COM"), QStringLiteral("Port"), QStringLiteral("1"),
                              iniFile());
  platform.writeProfileString(QStringLiteral("COM"), QStringLiteral("Settings"),
                              QStringLiteral("9600,n,8,1"), iniFile());
  platform.writeProfileString(QStringLiteral("COM"), QStringLiteral("RxDelay"), QStringLiteral("0"),
                              iniFile());
  platform.writeProfileString(QStringLiteral("COM"), QStringLiteral("TxDelay"), QStringLiteral("1"),
                              iniFile());
}

}  // namespace ovx
