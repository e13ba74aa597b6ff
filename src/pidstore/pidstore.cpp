#include "pidstore/pidstore.h"

#include <optional>

#include "link/tools.h"

namespace ovx {

QString PidStore::parPath() const {
  return settings_.Dir + QStringLiteral("pid.par");
}

void PidStore::CreateDefaultFile() {
  // An existing "pid.par" is never written at start, readable or not; one
  // that cannot be read (a folder, a pipe, no permission) is reported.
  const FileError unreadable = platform_.whyUnreadable(parPath());
  if (!unreadable.isEmpty()) {
    tellFailure(QStringLiteral("Unable to read file '") + parPath() + QStringLiteral("':") + CRLF +
                unreadable);
    return;
  }
  if (platform_.fileExists(parPath())) return;
  // Made only where nothing is, whole or not at all (a dangling link is
  // something).
  const FileError error = platform_.createFile(parPath(), "900=P48I8D2\r\n");
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

  // The new content is complete and on disk in a temporary file beside it
  // before it replaces "pid.par" in one step; a failure on the way leaves
  // "pid.par" as it was.
  const FileError error =
      platform_.writeFileDurably(parPath(), RewritePidText(content, setpoint, PidSet{P, I, D}));
  if (!error.isEmpty()) {
    tellFailure(QStringLiteral("Unable to write file '") + parPath() + QStringLiteral("':") + nl +
                error + unchanged);
    return false;
  }
  return true;
}

void PidStore::tellFailure(const QString& text) {
  BeepIfSound(platform_, settings_);
  MsgBox(platform_, text, MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace ovx
