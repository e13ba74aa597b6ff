// The files and the private-profile file of a platform, on the local disk:
// shared by the real platform and the test platform, which differ in their
// clock, windows and line but not in how a file is read or written.
#pragma once

#include "platform/files.h"
#include "platform/platform.h"

namespace ovx {

class DiskPlatform : public Platform {
 public:
  // On a bare file name in the Windows directory (a path is taken as it is).
  int profileInt(const QString& section, const QString& key, int defaultValue,
                 const QString& fileName) override;
  QString profileString(const QString& section, const QString& key, const QString& defaultValue,
                        const QString& fileName) override;
  bool writeProfileString(const QString& section, const QString& key, const QString& value,
                          const QString& fileName) override;

  bool fileExists(const QString& path) override;
  std::optional<QByteArray> readFile(const QString& path) override;
  FileError whyUnreadable(const QString& path) override;
  FileError writeFileDurably(const QString& path, const QByteArray& data) override;
  FileError createFile(const QString& path, const QByteArray& data) override;
  FileError createFolder(const QString& path) override;
  std::unique_ptr<AppendFile> createAppendFile(const QString& path, FileError& error) override;
  std::unique_ptr<AppendFile> openAppendFile(const QString& path, qint64 keep,
                                             FileError& error) override;
  QStringList filesNewestFirst(const QString& folder) override;
  FileError whyNotPrivate(const QString& path) override;

 protected:
  // How an append file's rows go to disk.
  virtual files::Sync appendSync() { return ::fdatasync; }

 private:
  QString profilePath(const QString& fileName);
};

}  // namespace ovx
