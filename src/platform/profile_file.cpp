#include "platform/profile_file.h"

#include <QFileInfo>

#include "platform/files.h"
#include "protocol/profile.h"

namespace ovx::profile {

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key) {
  const std::optional<QByteArray> content = files::Read(path);
  if (!content) return std::nullopt;
  return Lookup(*content, section, key);
}

bool WriteValue(const QString& path, const QString& section, const QString& key,
                const QString& value) {
  if (!profile::Representable(section, key, value)) return false;
  QByteArray content;
  if (QFileInfo::exists(path)) {
    const std::optional<QByteArray> old = files::Read(path);
    if (!old) return false;
    content = *old;
  }
  return files::WriteDurably(path, WithValue(content, section, key, value)).isEmpty();
}

int ReadInt(const QString& path, const QString& section, const QString& key, int defaultValue) {
  const std::optional<QString> value = ReadValue(path, section, key);
  // An empty value counts as missing, as with the Windows profile functions.
  if (!value || value->isEmpty()) return defaultValue;
  return ParseInt(*value);
}

QString ReadString(const QString& path, const QString& section, const QString& key,
                   const QString& defaultValue) {
  constexpr qsizetype kMaxProfileText = 143;  // a 144-character buffer with its terminator
  return ReadValue(path, section, key).value_or(defaultValue).left(kMaxProfileText);
}

}  // namespace ovx::profile
