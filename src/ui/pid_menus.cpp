// "Load PID's" and "Save PID's": PID sets between the main window's fields
// and "pid.par".
#include <QLineEdit>
#include <optional>

#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

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

void Operations::refusePidField(const char* name, const QLineEdit* field, const QString& title,
                                const QString& consequence) {
  MsgBox(platform_,
         QStringLiteral("The field ") + QLatin1String(name) + QStringLiteral(" holds '") +
             field->text() + QStringLiteral("', which is not a number between -32768 and 32767.") +
             CRLF + CRLF + consequence,
         MsgButtons::Ok, MsgIcon::None, title);
}

void Operations::menuLoadPID_Click() {
  frmOVX& form = form_;
  const QString title = QStringLiteral("Load PID-Parameter");
  const QString& nl = CRLF;
  double w = 0;
  const std::optional<int16_t> setpoint = FieldValue(form.W, w);
  if (!setpoint) {
    refusePidField("W", form.W, title, QStringLiteral("No PID-Parameter were loaded."));
    form.setStatusLine(QStringLiteral("Ready"));
    return;
  }

  const PidSet set = pidStore_.ReadPIDSet(*setpoint);
  const MsgAnswer answer =
      MsgBox(platform_,
             QStringLiteral("Do you want to replace the actual PID values") + nl +
                 QStringLiteral("for Setpoint") + BlankSigned(w) +
                 QStringLiteral("°C with the following values:") + nl + nl +
                 QStringLiteral("     P:") + BlankSigned(set.P) + nl + QStringLiteral("     I:") +
                 BlankSigned(set.I) + nl + QStringLiteral("     D:") + BlankSigned(set.D) + nl + nl,
             MsgButtons::OkCancel, MsgIcon::Question, title);
  if (answer == MsgAnswer::Ok) {
    form.P->setText(Plain(set.P));
    form.I->setText(Plain(set.I));
    form.D->setText(Plain(set.D));
    DataBlockWords& block = commands_.DataBlock;
    block[kSetpoint] = *setpoint;
    block[kPTerm] = set.P;
    block[kITerm] = set.I;
    block[kDTerm] = set.D;
  }
  form.setStatusLine(QStringLiteral("Ready"));
}

void Operations::menuFileSavePID_Click() {
  frmOVX& form = form_;
  const QString title = QStringLiteral("Save PID-Parameter");
  const QString& nl = CRLF;
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
      refusePidField(field.name, field.edit, title, nothingSaved);
      form.setStatusLine(QStringLiteral("Ready"));
      return;
    }
    field.whole = *whole;
  }
  const Field &w = fields[0], &P = fields[1], &I = fields[2], &D = fields[3];

  const MsgAnswer answer = MsgBox(
      platform_,
      QStringLiteral("Do you want to save") + nl + nl + QStringLiteral("     P:") +
          BlankSigned(P.value) + nl + QStringLiteral("     I:") + BlankSigned(I.value) + nl +
          QStringLiteral("     D:") + BlankSigned(D.value) + nl + nl +
          QStringLiteral("for actual Setpoint") + BlankSigned(w.value) + QStringLiteral("°C?"),
      MsgButtons::OkCancel, MsgIcon::Question, title);
  if (answer == MsgAnswer::Ok) pidStore_.WritePIDSet(w.whole, P.whole, I.whole, D.whole);
  form.setStatusLine(QStringLiteral("Ready"));
}

}  // namespace ovx
