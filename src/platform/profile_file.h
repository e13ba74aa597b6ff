// The private-profile reads and writes on a file path.
#pragma once

#include <QString>
#include <optional>

namespace ovx::profile {

// The value of section/key in the file; a missing or unreadable file finds nothing.
std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key);
// Sets section/key to value in the file, creating it when missing; false on failure.
bool WriteValue(const QString& path, const QString& section, const QString& key,
                const QString& value);

// The profile-integer read: the default when the key is missing or empty.
int ReadInt(const QString& path, const QString& section, const QString& key, int defaultValue);
// The profile-string read: the default when the key is missing; at most 143
// characters, as through a 144-character buffer.
QString ReadString(const QString& path, const QString& section, const QString& key,
                   const QString& defaultValue);

}  // namespace ovx::profile
