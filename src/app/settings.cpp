#include "app/settings.h"

#include "platform/platform.h"
#include "protocol/numtext.h"
#include "protocol/settings.h"

namespace ovx {
namespace {

QString iniFile() {
  return QStringLiteral("ovx.ini");
}
constexpr qsizetype kMaxText = 143;  // a 144-character buffer with its terminator

// An integer key; a value outside the 16-bit range takes the key's default.
int16_t readInt(Platform& platform, const char* section, const char* key, int16_t defaultValue) {
  const int value =
      platform.profileInt(QLatin1String(section), QLatin1String(key), defaultValue, iniFile());
  if (value < -32768 || value > 32767) return defaultValue;
  return static_cast<int16_t>(value);
}

// The magnitude of an integer key; -32768 has none in 16 bits and takes the
// default as well.
int16_t readMagnitude(Platform& platform, const char* section, const char* key,
                      int16_t defaultValue) {
  const int16_t value = readInt(platform, section, key, defaultValue);
  if (value == -32768) return defaultValue;
  return static_cast<int16_t>(value < 0 ? -value : value);
}

QString readText(Platform& platform, const char* section, const char* key,
                 const char* defaultValue) {
  return platform
      .profileString(QLatin1String(section), QLatin1String(key), QLatin1String(defaultValue),
                     iniFile())
      .left(kMaxText);
}

}  // namespace

void ReadSettings(Platform& platform, Settings& g) {
  g.ControlLoopNumber = readMagnitude(platform, "General", "ControlLoopNumber", 1);

  g.Dir = readText(platform, "General", "Dir", "");
  if (!g.Dir.isEmpty()) {
    g.Dir = TrimBlanks(g.Dir);
    const QString separator = platform.pathSeparator();
    if (!g.Dir.endsWith(separator)) g.Dir += separator;
  }

  g.Debug = readInt(platform, "General", "Debug", 0) != 0;
  g.Sound = readInt(platform, "General", "Sound", -1) != 0;
  g.Port = readMagnitude(platform, "COM", "Port", 1);
  g.ComSettings = readText(platform, "COM", "Settings", "9600,n,8,1");
  g.RxDelay = static_cast<float>(LeadingNumber(readText(platform, "COM", "RxDelay", "0")));
  g.TxDelay = static_cast<float>(LeadingNumber(readText(platform, "COM", "TxDelay", "1")));
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
