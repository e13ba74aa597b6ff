#include "app/settings.h"

#include <QCryptographicHash>
#include <QDir>
#include <cmath>

#include "platform/platform.h"
#include "protocol/numtext.h"
#include "protocol/settings.h"
#include "publish/mqtt_settings.h"
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

// "host", "host:port" or "[IPv6 address]:port" into host and port; false
// when there is no host or the port is not 1..65535.
bool splitBroker(const QString& text, QString& host, int& port) {
  QString name = text, number;
  if (text.startsWith(QLatin1Char('['))) {
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0) return false;
    name = text.mid(1, close - 1);
    const QString rest = text.mid(close + 1);
    if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) return false;
    if (!rest.isEmpty()) number = rest.mid(1);
  } else if (text.count(QLatin1Char(':')) == 1) {
    name = text.section(QLatin1Char(':'), 0, 0);
    number = text.section(QLatin1Char(':'), 1);
  }
  if (name.isEmpty() || name.contains(QLatin1Char(' '))) return false;
  if (!number.isNull()) {
    bool ok = false;
    port = number.toInt(&ok);
    if (!ok || port < 1 || port > 65535) return false;
  }
  host = name;
  return true;
}

QString readMqtt(Platform& platform, const char* key, const QString& defaultValue = {}) {
  return platform.profileString(QStringLiteral("MQTT"), QLatin1String(key), defaultValue,
                                iniFile());
}

// A file named in [MQTT]: the path, a relative one taken in the settings folder.
QString mqttPath(Platform& platform, const Settings& g, const char* key) {
  const QString path = readMqtt(platform, key);
  return path.isEmpty() || !QDir::isRelativePath(path) ? path : g.WindowsDir + path;
}

// The box text for a file of [MQTT] that cannot be used.
QString unusableFile(const Settings& g, const char* key, const QString& path, const QString& reason,
                     const QString& more = {}) {
  return QStringLiteral("Unable to use file '") + path + QStringLiteral("'") + CRLF +
         QStringLiteral("of '") + QLatin1String(key) + QStringLiteral("' in Section [MQTT] of ") +
         g.WindowsDir + iniFile() + QStringLiteral(":") + CRLF + reason +
         (more.isEmpty() ? QString() : CRLF + more);
}

// Why a file cannot be read, also when nothing is there.
QString whyNoFile(Platform& platform, const QString& path) {
  const QString reason = platform.whyUnreadable(path);
  if (!reason.isEmpty() || platform.fileExists(path)) return reason;
  return QStringLiteral("No such file or directory");
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

QString ReadMqttSettings(Platform& platform, const Settings& g, MqttSettings& m) {
  BrokerOptions& b = m.broker;
  const QString broker = readMqtt(platform, "Broker");
  if (broker.isEmpty()) return {};
  if (!splitBroker(broker, b.host, b.port))
    return unusable(platform, g, "MQTT", "Broker",
                    QStringLiteral("A host name or address, with :port (1 ... 65535) or not."));

  QString host = platform.hostName();
  if (host.isEmpty()) host = QStringLiteral("localhost");
  const QString loop = QString::number(g.ControlLoopNumber);
  m.topic =
      readMqtt(platform, "Topic", QStringLiteral("ovx/") + host + QStringLiteral("-loop") + loop);
  while (m.topic.endsWith(QLatin1Char('/'))) m.topic.chop(1);
  if (m.topic.isEmpty() || m.topic.contains(QLatin1Char('+')) || m.topic.contains(QLatin1Char('#')))
    return unusable(platform, g, "MQTT", "Topic",
                    QStringLiteral("A topic prefix such as ovx/furnace-1, without + and #."));
  // Unique per furnace: the same folder and loop on the same computer is the
  // same furnace.
  const QByteArray folder =
      QCryptographicHash::hash(g.WindowsDir.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
  b.clientId = readMqtt(platform, "ClientId",
                        QStringLiteral("ovx-") + host + QLatin1Char('-') +
                            QString::fromLatin1(folder) + QStringLiteral("-loop") + loop);
  b.username = readMqtt(platform, "Username");
  m.homeAssistant = readFlag(platform, "MQTT", "HomeAssistant", 0);

  const QString passwordFile = mqttPath(platform, g, "PasswordFile");
  if (!passwordFile.isEmpty()) {
    if (b.username.isEmpty())
      return unusable(platform, g, "MQTT", "Username",
                      QStringLiteral("A user name goes with the 'PasswordFile'."));
    const QString reason = platform.whyNotPrivate(passwordFile);
    const std::optional<QByteArray> content =
        reason.isEmpty() ? platform.readFile(passwordFile) : std::nullopt;
    if (!content)
      return unusableFile(
          g, "PasswordFile", passwordFile,
          reason.isEmpty() ? QStringLiteral("Not a regular file") : reason,
          QStringLiteral(
              "A password file must be your own and readable by you alone (chmod 600)."));
    // The first line, without its line end.
    b.password = QByteArray("") + *content;  // never null: a password, if an empty one
    if (const qsizetype end = b.password.indexOf('\n'); end >= 0) b.password.truncate(end);
    if (b.password.endsWith('\r')) b.password.chop(1);
  }

  b.caFile = mqttPath(platform, g, "CAFile");
  b.certFile = mqttPath(platform, g, "CertFile");
  b.keyFile = mqttPath(platform, g, "KeyFile");
  if (b.certFile.isEmpty() != b.keyFile.isEmpty() || (!b.certFile.isEmpty() && b.caFile.isEmpty()))
    return unusable(platform, g, "MQTT", b.certFile.isEmpty() ? "KeyFile" : "CertFile",
                    QStringLiteral("'CertFile' and 'KeyFile' go together, with a 'CAFile'."));
  const std::pair<const char*, QString> files[] = {
      {"CAFile", b.caFile}, {"CertFile", b.certFile}, {"KeyFile", b.keyFile}};
  for (const auto& [key, path] : files) {
    const QString reason = path.isEmpty() ? QString() : whyNoFile(platform, path);
    if (!reason.isEmpty()) return unusableFile(g, key, path, reason);
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
