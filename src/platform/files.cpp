#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace ovx::files {
namespace {

QString systemReason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

namespace {

// Only regular files (or links to them) count: a folder cannot be read, and
// opening a pipe or a device could block or never end.
bool isPlainFile(const QString& path) {
  return !path.isEmpty() && QFileInfo(path).isFile();
}

}  // namespace

bool Exists(const QString& path) {
  if (!isPlainFile(path)) return false;
  QFile file(path);
  return file.open(QIODevice::ReadOnly);  // closed again by the destructor
}

std::optional<QByteArray> Read(const QString& path) {
  if (!isPlainFile(path)) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

QString WhyUnreadable(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  if (info.isDir()) return systemReason(EISDIR);
  if (!info.isFile()) return QStringLiteral("Not a regular file");
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return systemReason(errno);
  ::close(fd);
  return {};
}

QString WriteDurably(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return file.errorString();
  if (file.write(data) != data.size() || !file.flush()) return file.errorString();
  if (::fsync(file.handle()) != 0) return systemReason(errno);
  file.close();
  if (file.error() != QFileDevice::NoError) return file.errorString();
  return {};
}

QString RenameReplacing(const QString& from, const QString& to) {
  if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
    return systemReason(errno);
  // The rename itself lives in the folder's entries: sync the folder too.
  const QString folder = QFileInfo(to).absolutePath();
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return systemReason(errno);
  const int synced = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return synced == 0 ? QString() : systemReason(error);
}

}  // namespace ovx::files
