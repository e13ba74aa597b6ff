// Plain file operations on real files, shared by the Qt platform and the
// test platform.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ovx::files {

// True when the path can be opened for reading (a directory cannot).
bool Exists(const QString& path);
std::optional<QByteArray> Read(const QString& path);
// Why something that exists at the path cannot be read as a file; empty when
// it can, or when nothing is there.
QString WhyUnreadable(const QString& path);
// Creates or empties the file, writes the bytes, flushes them to disk.
// Returns an empty text on success, else the reason.
QString WriteDurably(const QString& path, const QByteArray& data);
// Replaces `to` with `from` in one step (rename(2)), then syncs the folder.
QString RenameReplacing(const QString& from, const QString& to);

}  // namespace ovx::files
