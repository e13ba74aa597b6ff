// Plain file operations on real files, shared by the Qt platform and the
// test platform.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

#include "platform/platform.h"

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
// Creates the folder (one level) unless it is there, and syncs the folder
// above it.
QString CreateFolder(const QString& path);
// Creates a new file with O_EXCL, under a free name beside the path when the
// path is taken, and syncs its folder. Each append is written, and synced
// before it returns; a failed one is cut off again.
std::unique_ptr<AppendFile> CreateAppendFile(const QString& path, QString& error);

}  // namespace ovx::files
