#include "platform/disk_platform.h"

#include <QDir>

#include "platform/profile_file.h"

namespace ovx {

QString DiskPlatform::profilePath(const QString& fileName) {
  if (QDir::isAbsolutePath(fileName)) return fileName;
  return windowsDirectory() + QLatin1Char('/') + fileName;
}

int DiskPlatform::profileInt(const QString& section, const QString& key, int defaultValue,
                             const QString& fileName) {
  return profile::ReadInt(profilePath(fileName), section, key, defaultValue);
}

QString DiskPlatform::profileString(const QString& section, const QString& key,
                                    const QString& defaultValue, const QString& fileName) {
  return profile::ReadString(profilePath(fileName), section, key, defaultValue);
}

bool DiskPlatform::writeProfileString(const QString& section, const QString& key,
                                      const QString& value, const QString& fileName) {
  return profile::WriteValue(profilePath(fileName), section, key, value);
}

bool DiskPlatform::fileExists(const QString& path) {
  return files::Exists(path);
}

std::optional<QByteArray> DiskPlatform::readFile(const QString& path) {
  return files::Read(path);
}

FileError DiskPlatform::whyUnreadable(const QString& path) {
  return files::ReasonUnreadable(path);
}

FileError DiskPlatform::writeFileDurably(const QString& path, const QByteArray& data) {
  return files::WriteDurably(path, data);
}

FileError DiskPlatform::createFile(const QString& path, const QByteArray& data) {
  return files::Create(path, data);
}

FileError DiskPlatform::createFolder(const QString& path) {
  return files::CreateFolder(path);
}

std::unique_ptr<AppendFile> DiskPlatform::createAppendFile(const QString& path, FileError& error) {
  return files::CreateAppendFile(path, error, appendSync());
}

std::unique_ptr<AppendFile> DiskPlatform::openAppendFile(const QString& path, qint64 keep,
                                                         FileError& error) {
  return files::OpenAppendFile(path, keep, error, appendSync());
}

QStringList DiskPlatform::filesNewestFirst(const QString& folder) {
  return files::NewestFirst(folder);
}

FileError DiskPlatform::whyNotPrivate(const QString& path) {
  return files::ReasonNotPrivate(path);
}

}  // namespace ovx
