#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ovx::files {
namespace {

QString systemReason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

// A descriptor for reading the path when it names a regular file, else -1.
// The name is checked before the open, so that no device is ever opened,
// and the open file again, in case the name changed in between; O_NONBLOCK
// lets even the open of a pipe return at once (a regular file ignores it).
int openRegular(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat st {};
  if (path.isEmpty() || ::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whether the mode lets this user write the file: the owner's bits for its
// owner, the group's for a member of its group, the others' for the rest.
// Root is held to the mode as well, so a file made read-only stays as it is.
bool modeAllowsWriting(const struct stat& st) {
  if (st.st_uid == ::geteuid()) return st.st_mode & S_IWUSR;
  bool member = st.st_gid == ::getegid();
  std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  for (int i = 0; i < count; ++i) member = member || groups[static_cast<size_t>(i)] == st.st_gid;
  return st.st_mode & (member ? S_IWGRP : S_IWOTH);
}

// Writes all the bytes and flushes them to disk; the reason on failure.
QString writeAll(int fd, const QByteArray& data) {
  for (qsizetype done = 0; done < data.size();) {
    const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return systemReason(errno);
    done += n;
  }
  return ::fsync(fd) == 0 ? QString() : systemReason(errno);
}

// A new or renamed entry lives in its folder: sync the folder too.
QString syncFolder(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  const int fd = ::open(QFile::encodeName(folder).constData(),
                        O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return systemReason(errno);
  const int synced = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return synced == 0 ? QString() : systemReason(error);
}

}  // namespace

QString ReasonUnreadable(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  if (info.isDir()) return systemReason(EISDIR);
  if (!info.isFile()) return QString::fromLatin1(kNotRegular);
  // Non-blocking, and looked at again once open: a pipe put under the name
  // after the check above must not hold the program.
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return systemReason(errno);
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  ::close(fd);
  if (known && S_ISDIR(st.st_mode)) return systemReason(EISDIR);
  return known && S_ISREG(st.st_mode) ? QString() : QString::fromLatin1(kNotRegular);
}

QString ReasonNotPrivate(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return systemReason(errno);
  if (!S_ISREG(st.st_mode)) return QString::fromLatin1(kNotRegular);
  if (st.st_uid != ::geteuid()) return QStringLiteral("it belongs to another user");
  if (st.st_mode & (S_IRGRP | S_IROTH))
    return QStringLiteral("readable by others (mode ") + QString::number(st.st_mode & 0777, 8) +
           QLatin1Char(')');
  return ReasonUnreadable(path);
}

bool Exists(const QString& path) {
  const int fd = openRegular(path);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::optional<QByteArray> Read(const QString& path) {
  const int fd = openRegular(path);
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  return file.readAll();
}

QString WriteDurably(const QString& path, const QByteArray& data) {
  const QByteArray name = QFile::encodeName(path);
  struct stat st {};
  const bool replacing = ::stat(name.constData(), &st) == 0;  // follows links
  const int statError = errno;
  QString target = path;
  if (replacing) {
    if (!S_ISREG(st.st_mode)) return QString::fromLatin1(kNotRegular);
    if (!modeAllowsWriting(st)) return systemReason(EACCES);
    target = QFileInfo(path).canonicalFilePath();
  } else if (statError != ENOENT || QFileInfo(path).isSymLink()) {
    // A dangling link is not followed: nothing is created where it points.
    return systemReason(statError);
  }

  // QSaveFile makes its temporary file new and exclusively, under a unique
  // name beside the target, and renames it over the target on commit. It
  // reports a short write on a full disk neither as a failure nor by its
  // reason, so the bytes go through its descriptor here.
  QSaveFile file(target);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  const int fd = file.handle();
  QString error;
  if (replacing) {
    // The owner and group where this user may set them; the mode after the
    // owner, whose change clears the set-id bits.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) (void)!::fchown(fd, uid_t(-1), st.st_gid);
    if (::fchmod(fd, st.st_mode & 07777) != 0) error = systemReason(errno);
  }
  if (error.isEmpty()) error = writeAll(fd, data);
  if (!error.isEmpty()) {
    file.cancelWriting();  // the temporary file goes with `file`
    return error;
  }
  if (!file.commit()) return file.errorString();
  return syncFolder(target);
}

namespace {

// What link() or fchmod() say on a file system without hard links or without
// Unix modes.
bool Unsupported(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// Creates the file new under its name and writes it; when that fails half
// way, it is removed again, so that the name holds the whole file or nothing.
QString CreateExclusive(const QByteArray& name, const QByteArray& data) {
  const int fd = ::open(name.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return systemReason(errno);
  QString error = writeAll(fd, data);
  if (::close(fd) != 0 && error.isEmpty()) error = systemReason(errno);
  if (!error.isEmpty()) ::unlink(name.constData());
  return error;
}

}  // namespace

QString Create(const QString& path, const QByteArray& data, HardLink hardLink) {
  // Written whole under a unique name beside it first; link() then gives it
  // its name, and fails when anything at all is there, a dangling link
  // included, so nothing is written through a link or over a file.
  const QByteArray name = QFile::encodeName(path);
  QByteArray temp = name + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return systemReason(errno);
  // mkostemp() makes the file private; it gets the mode of a plain creation.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  int refused = ::fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
  QString error = refused ? QString() : writeAll(fd, data);
  if (::close(fd) != 0 && error.isEmpty() && !refused) error = systemReason(errno);
  if (error.isEmpty() && !refused && hardLink(temp.constData(), name.constData()) != 0)
    refused = errno;
  ::unlink(temp.constData());
  // Without hard links, O_EXCL keeps the promise: it too fails on anything
  // under the name, a dangling link included.
  if (Unsupported(refused))
    error = CreateExclusive(name, data);
  else if (refused)
    error = systemReason(refused);
  return error.isEmpty() ? syncFolder(path) : error;
}

namespace {

class AppendOnlyFile : public AppendFile {
 public:
  AppendOnlyFile(QString path, int fd, off_t size, Sync sync)
      : path_(std::move(path)), fd_(fd), size_(size), sync_(std::move(sync)) {}
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
    if (sync_(fd_) != 0) return cutBack(errno);
    size_ += data.size();
    return {};
  }

  bool detached() const override {
    struct stat open {
    }, named{};
    if (::fstat(fd_, &open) != 0) return false;  // cannot tell: go on
    if (open.st_nlink == 0) return true;
    if (::stat(QFile::encodeName(path_).constData(), &named) != 0)
      return errno == ENOENT || errno == ENOTDIR;
    return named.st_dev != open.st_dev || named.st_ino != open.st_ino;
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
  off_t size_;  // what the file holds of whole appends
  Sync sync_;
};

}  // namespace

QString CreateFolder(const QString& path) {
  if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
    const int error = errno;
    if (error == EEXIST && QFileInfo(path).isDir()) return {};
    return systemReason(error);
  }
  return syncFolder(path);
}

std::unique_ptr<AppendFile> CreateAppendFile(const QString& path, QString& error, Sync sync) {
  const QFileInfo info(path);
  const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
  const QString stem = path.chopped(suffix.size());
  for (int n = 1; n < 1000; ++n) {
    const QString candidate = n == 1 ? path : stem + QLatin1Char('-') + QString::number(n) + suffix;
    const int fd =
        ::open(QFile::encodeName(candidate).constData(),
               O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // The new entry must survive a power cut too; should the folder fail
      // to sync, the rows still go to the file, which is the best left to do.
      syncFolder(candidate);
      return std::make_unique<AppendOnlyFile>(candidate, fd, 0, std::move(sync));
    }
    if (errno != EEXIST) {
      error = systemReason(errno);
      return nullptr;
    }
  }
  error = systemReason(EEXIST);
  return nullptr;
}

std::unique_ptr<AppendFile> OpenAppendFile(const QString& path, qint64 keep, QString& error,
                                           Sync sync) {
  // O_NOFOLLOW: a link put in place of a log is not the log; O_NONBLOCK: a
  // pipe there opens at once and is refused below.
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno == ELOOP ? QString::fromLatin1(kNotRegular) : systemReason(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < keep) {
    error = !S_ISREG(st.st_mode) ? QString::fromLatin1(kNotRegular)
                                 : QStringLiteral("Changed since it was read");
    ::close(fd);
    return nullptr;
  }
  if (st.st_size > keep && (::ftruncate(fd, keep) != 0 || sync(fd) != 0)) {
    error = systemReason(errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<AppendOnlyFile>(path, fd, keep, std::move(sync));
}

QStringList NewestFirst(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::NoSymLinks, QDir::Time);
}

}  // namespace ovx::files
