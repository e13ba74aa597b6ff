#include "pidstore/pidfile.h"

#include <QLineEdit>
#include <optional>

#include "app/numtext.h"
#include "app/program.h"
#include "ui/frmovx.h"

namespace ovx {

namespace {

// The whole-number value of a field that must hold one number.
std::optional<int16_t> FieldValue(const QLineEdit* field, double& value) {
  const auto number = WholeNumber(field->text());
  if (!number) return std::nullopt;
  value = *number;
  return ToInt16(*number);
}

}  // namespace

QString PidFile::parPath() const {
  return p_.g.Dir + QStringLiteral("pid.par");
}

void PidFile::CreateDefaultFile() {
  if (p_.platform.fileExists(parPath())) return;
  // Made only where nothing is, whole or not at all; anything that is there
  // but cannot be read (a folder, a pipe, a dangling link) is reported.
  const FileError error = p_.platform.createFile(parPath(), "900=P48I8D2\r\n");
  if (!error.isEmpty()) {
    tellFailure(QStringLiteral("Unable to create file '") + parPath() + QStringLiteral("':") +
                p_.g.CRLF + error);
  }
}

PidSet PidFile::ReadPIDSet(int16_t setpoint) {
  const PidSet defaults;
  // A missing or unreadable file gives the default set.
  const std::optional<QByteArray> content = p_.platform.readFile(parPath());
  if (!content) return defaults;
  const PidLookup found = LookupPidSet(*content, setpoint);
  if (found.result == PidLookup::Result::Found) return found.set;
  if (found.result == PidLookup::Result::Invalid) {
    p_.MsgBox(QStringLiteral("'") + QString::fromLatin1(found.line) + QStringLiteral("'") +
                  p_.g.CRLF + QStringLiteral("Invalid PID-Parameter line in file 'pid.par'!"),
              MsgButtons::Ok, MsgIcon::None, QString());
  }
  return defaults;
}

bool PidFile::WritePIDSet(int16_t setpoint, int16_t P, int16_t I, int16_t D) {
  const QString& nl = p_.g.CRLF;
  const QString unchanged =
      nl + nl + QStringLiteral("The file '") + parPath() + QStringLiteral("' was not changed.");

  // A missing file is created with the new line; a file that is there but
  // fails to read is left alone.
  QByteArray content;
  if (p_.platform.fileExists(parPath())) {
    const std::optional<QByteArray> old = p_.platform.readFile(parPath());
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
      p_.platform.writeFileDurably(parPath(), RewritePidText(content, setpoint, PidSet{P, I, D}));
  if (!error.isEmpty()) {
    tellFailure(QStringLiteral("Unable to write file '") + parPath() + QStringLiteral("':") + nl +
                error + unchanged);
    return false;
  }
  return true;
}

void PidFile::tellFailure(const QString& text) {
  p_.tools.BeepIfSound();
  p_.MsgBox(text, MsgButtons::Ok, MsgIcon::Exclamation, QString());
}

void PidFile::refuseField(const char* name, const QLineEdit* field, const QString& title,
                          const QString& consequence) {
  p_.MsgBox(QStringLiteral("The field ") + QLatin1String(name) + QStringLiteral(" holds '") +
                field->text() +
                QStringLiteral("', which is not a number between -32768 and 32767.") + p_.g.CRLF +
                p_.g.CRLF + consequence,
            MsgButtons::Ok, MsgIcon::None, title);
}

void PidFile::menuLoadPID_Click() {
  frmOVX& form = p_.form();
  const QString title = QStringLiteral("Load PID-Parameter");
  const QString& nl = p_.g.CRLF;
  double w = 0;
  const std::optional<int16_t> setpoint = FieldValue(form.W, w);
  if (!setpoint) {
    refuseField("W", form.W, title, QStringLiteral("No PID-Parameter were loaded."));
    form.setStatusLine(QStringLiteral("Ready"));
    return;
  }

  const PidSet set = ReadPIDSet(*setpoint);
  const MsgAnswer answer = p_.MsgBox(
      QStringLiteral("Do you want to replace the actual PID values") + nl +
          QStringLiteral("for Setpoint") + BlankSigned(w) +
          QStringLiteral("°C with the following values:") + nl + nl + QStringLiteral("     P:") +
          BlankSigned(set.P) + nl + QStringLiteral("     I:") + BlankSigned(set.I) + nl +
          QStringLiteral("     D:") + BlankSigned(set.D) + nl + nl,
      MsgButtons::OkCancel, MsgIcon::Question, title);
  if (answer == MsgAnswer::Ok) {
    form.P->setText(Plain(set.P));
    form.I->setText(Plain(set.I));
    form.D->setText(Plain(set.D));
    DataBlockWords& block = p_.g.DataBlock;
    block[kSetpoint] = *setpoint;
    block[kPTerm] = set.P;
    block[kITerm] = set.I;
    block[kDTerm] = set.D;
  }
  form.setStatusLine(QStringLiteral("Ready"));
}

void PidFile::menuFileSavePID_Click() {
  frmOVX& form = p_.form();
  const QString title = QStringLiteral("Save PID-Parameter");
  const QString& nl = p_.g.CRLF;
  const QString nothingSaved = QStringLiteral("Nothing was saved.");

  // Only numbers that fit the file are saved; anything else is refused
  // before the question, so no wrong value reaches the file.
  struct Field {
    const char* name;
    QLineEdit* edit;
    double value = 0;
    int16_t whole = 0;
  } fields[] = {{"W", form.W}, {"P", form.P}, {"I", form.I}, {"D", form.D}};
  for (Field& field : fields) {
    const std::optional<int16_t> whole = FieldValue(field.edit, field.value);
    if (!whole) {
      refuseField(field.name, field.edit, title, nothingSaved);
      form.setStatusLine(QStringLiteral("Ready"));
      return;
    }
    field.whole = *whole;
  }
  const Field &w = fields[0], &P = fields[1], &I = fields[2], &D = fields[3];

  const MsgAnswer answer = p_.MsgBox(
      QStringLiteral("Do you want to save") + nl + nl + QStringLiteral("     P:") +
          BlankSigned(P.value) + nl + QStringLiteral("     I:") + BlankSigned(I.value) + nl +
          QStringLiteral("     D:") + BlankSigned(D.value) + nl + nl +
          QStringLiteral("for actual Setpoint") + BlankSigned(w.value) + QStringLiteral("°C?"),
      MsgButtons::OkCancel, MsgIcon::Question, title);
  if (answer == MsgAnswer::Ok) WritePIDSet(w.whole, P.whole, I.whole, D.whole);
  form.setStatusLine(QStringLiteral("Ready"));
}

}  // namespace ovx
