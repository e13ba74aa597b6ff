#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

// Makes a change of the folder's entries durable.
QString syncFolder(const QString& folder) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return systemReason(errno);
  const int synced = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return synced == 0 ? QString() : systemReason(error);
}

class AppendOnlyFile : public AppendFile {
 public:
  AppendOnlyFile(QString path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~AppendOnlyFile() override { ::close(fd_); }
  QString path() const override { return path_; }

  FileError append(const QByteArray& data) override {
    qsizetype written = 0;
    while (written < data.size()) {
      const ssize_t n = ::write(fd_, data.constData() + written, data.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return cutBack(n < 0 ? errno : ENOSPC);
      written += n;
    }
    if (::fdatasync(fd_) != 0) return cutBack(errno);
    size_ += data.size();
    return {};
  }

 private:
  // A part written before a failure would leave half a line behind.
  QString cutBack(int error) {
    if (::ftruncate(fd_, size_) != 0) {
      // Nothing more to do: the reason of the failure is what counts.
    }
    return systemReason(error);
  }

  QString path_;
  int fd_;
  off_t size_ = 0;
};

}  // namespace

QString CreateFolder(const QString& path) {
  if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
    const int error = errno;
    if (error == EEXIST && QFileInfo(path).isDir()) return {};
    return systemReason(error);
  }
  return syncFolder(QFileInfo(path).absolutePath());
}

std::unique_ptr<AppendFile> CreateAppendFile(const QString& path, QString& error) {
  const QFileInfo info(path);
  const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
  const QString stem = path.chopped(suffix.size());
  for (int n = 1; n < 1000; ++n) {
    const QString candidate = n == 1 ? path : stem + QLatin1Char('-') + QString::number(n) + suffix;
    const int fd = ::open(QFile::encodeName(candidate).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // The new entry must survive a power cut too; should the folder fail
      // to sync, the rows still go to the file, which is the best left to do.
      syncFolder(info.absolutePath());
      return std::make_unique<AppendOnlyFile>(candidate, fd);
    }
    if (errno != EEXIST) {
      error = systemReason(errno);
      return nullptr;
    }
  }
  error = systemReason(EEXIST);
  return nullptr;
}

}  // namespace ovx::files
