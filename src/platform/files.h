// Plain file operations on real files, shared by the Qt platform and the
// test platform. Only regular files are ever opened: a pipe or a device under
// the name is refused, so nothing blocks.
#pragma once

#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/platform.h"

namespace ovx::files {

// The reason given for a name that holds something other than a regular file.
inline constexpr const char* kNotRegular = "Not a regular file";

// True when the path names a regular file (or a link to one) that can be
// opened for reading.
bool Exists(const QString& path);
std::optional<QByteArray> Read(const QString& path);
// Why something that exists at the path cannot be read as a file; empty when
// it can, or when nothing is there.
QString ReasonUnreadable(const QString& path);
// Why the file is no place for a secret: it cannot be read, belongs to
// another user, or its group or others may read it ("readable by others
// (mode 644)"); empty when only this user can read it.
QString ReasonNotPrivate(const QString& path);
// Replaces the file with the bytes in one step: a new temporary file beside
// it (beside a link's target, so that the link stays) takes its mode, owner
// and group where this user may set them, is flushed to disk and renamed
// over it. A missing file is created. Refused, with nothing changed, for a
// dangling link, for anything but a regular file, and for a file whose mode
// does not let this user write it (root included). Returns an empty text on
// success, else the reason.
QString WriteDurably(const QString& path, const QByteArray& data);
// Gives a file a second name, as link(2) does (errno set on failure).
using HardLink = int (*)(const char* existing, const char* name);

// Creates the file with the bytes, whole or not at all, when nothing at all
// is there under its name (not even a dangling link): written under a unique
// name beside it and linked to its name with `hardLink`; where the file
// system has no hard links or no Unix modes (FAT, many SMB mounts), created
// exclusively under its name instead, and removed again when it cannot be
// written whole.
QString Create(const QString& path, const QByteArray& data, HardLink hardLink = ::link);
// Creates the folder (one level) unless it is there, and syncs the folder
// above it.
QString CreateFolder(const QString& path);
// Puts the data of a file on disk, as fdatasync(2) does (errno set on failure).
using Sync = std::function<int(int fd)>;

// Creates a new file with O_EXCL, under a free name beside the path when the
// path is taken, and syncs its folder. Each append is written, and synced
// with `sync` before it returns; a failed one is cut off again. The file is
// detached when its path no longer leads to it.
std::unique_ptr<AppendFile> CreateAppendFile(const QString& path, QString& error,
                                             Sync sync = ::fdatasync);
// Opens the regular file at the path (a link is refused) to append to, as
// CreateAppendFile's files do, after cutting it to its first `keep` bytes.
std::unique_ptr<AppendFile> OpenAppendFile(const QString& path, qint64 keep, QString& error,
                                           Sync sync = ::fdatasync);
// The regular files in the folder, newest modification first.
QStringList NewestFirst(const QString& folder);

}  // namespace ovx::files
