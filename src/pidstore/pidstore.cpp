#include "pidstore/pidstore.h"

#include <optional>

#include "link/tools.h"

namespace ovx {

QString PidStore::parPath() const {
  return settings_.Dir + QStringLiteral("pid.par");
}

QString PidStore::tmpPath() const {
  return settings_.Dir + QStringLiteral("pid.tmp");
}

void PidStore::CreateDefaultFile() {
  if (platform_.fileExists(parPath())) return;
  // Written in place: there is no old content to protect, and a file that is
  // there but unreadable refuses to be opened for writing as well.
  const FileError error = platform_.writeFileDurably(parPath(), "900=P48I8D2\r\n");
  if (!error.isEmpty()) {
    tellFailure(QStringLiteral("Unable to create file '") + parPath() + QStringLiteral("':") +
                CRLF + error);
  }
}

PidSet PidStore::ReadPIDSet(int16_t setpoint, bool* fromFile) {
  const PidSet defaults;
  if (fromFile) *fromFile = false;
  // A missing or unreadable file gives the default set.
  const std::optional<QByteArray> content = platform_.readFile(parPath());
  if (!content) return defaults;
  const PidLookup found = LookupPidSet(*content, setpoint);
  if (found.result == PidLookup::Result::Found) {
    if (fromFile) *fromFile = true;
    return found.set;
  }
  if (found.result == PidLookup::Result::Invalid) {
    MsgBox(platform_, QStringLiteral("'") + QString::fromLatin1(found.line) + QStringLiteral("'") +
                          CRLF + QStringLiteral("Invalid PID-Parameter line in file 'pid.par'!"));
  }
  return defaults;
}

bool PidStore::WritePIDSet(int16_t setpoint, int16_t P, int16_t I, int16_t D) {
  const QString& nl = CRLF;
  const QString unchanged =
      nl + nl + QStringLiteral("The file '") + parPath() + QStringLiteral("' was not changed.");

  // A missing file is created with the new line; a file that is there but
  // fails to read is left alone.
  QByteArray content;
  if (platform_.fileExists(parPath())) {
    const std::optional<QByteArray> old = platform_.readFile(parPath());
    if (!old) {
      tellFailure(QStringLiteral("Unable to read file '") + parPath() + QStringLiteral("'.") +
                  unchanged);
      return false;
    }
    content = *old;
  }

  // The new content is complete and on disk in "pid.tmp" before it replaces
  // "pid.par" in one step; a failure on the way leaves "pid.par" as it was.
  FileError error =
      platform_.writeFileDurably(tmpPath(), RewritePidText(content, setpoint, PidSet{P, I, D}));
  if (!error.isEmpty()) {
    tellFailure(QStringLiteral("Unable to write file '") + tmpPath() + QStringLiteral("':") + nl +
                error + unchanged);
    return false;
  }
  error = platform_.renameReplacing(tmpPath(), parPath());
  if (!error.isEmpty()) {
    tellFailure(QStringLiteral("Unable to replace file '") + parPath() + QStringLiteral("' by '") +
                tmpPath() + QStringLiteral("':") + nl + error + unchanged);
    return false;
  }
  return true;
}

void PidStore::tellFailure(const QString& text) {
  BeepIfSound(platform_, settings_);
  MsgBox(platform_, text, MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace ovx
