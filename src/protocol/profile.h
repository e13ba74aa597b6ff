// Private-profile files ("ovx.ini"): [Section] lines followed by key=value
// lines. Section and key names are matched without regard to case, blanks
// around "=" and around the value are trimmed, the first match wins, and
// lines starting with ";" are comments.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ovx::profile {

// The value of section/key in the file's text, or nullopt when missing.
std::optional<QString> Lookup(const QByteArray& content, const QString& section,
                              const QString& key);
// The integer read of a value: its leading whole number (sign and digits
// after blanks); a value that does not start with one reads as 0.
int ParseInt(const QString& value);
// The text with section/key set to value: replaces the first matching entry,
// else appends it to the section, else appends a new section. CR LF lines.
QByteArray WithValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& value);
// Whether the entry can be written so that Lookup finds it again.
bool Representable(const QString& section, const QString& key, const QString& value);

}  // namespace ovx::profile
