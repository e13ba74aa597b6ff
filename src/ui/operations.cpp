// The operator's direct operations on the controller: the four parameter
// fields, heater output switching, the status query and setpoint entry.
#include <QLineEdit>
#include <array>

#include "link/tools.h"
#include "protocol/numtext.h"
#include "ui/frmovx.h"
#include "ui/operations.h"

namespace ovx {

namespace {

struct FieldRule {
  QLineEdit* field;
  int word;
  QString name;
};

// Refuses what the operator typed: a stop box, then the field's whole text
// selected so that the next key replaces it.
void refuseField(Platform& platform, const Settings& settings, QLineEdit* field,
                 const QString& message) {
  BeepIfSound(platform, settings);
  MsgBox(platform, message, MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Invalid input"));
  field->setFocus();
  field->setSelection(0, static_cast<int>(field->text().size()));
}

// The long operation as the subject of a sentence.
QString LongName(LongOperation kind) {
  switch (kind) {
    case LongOperation::TemperatureRun:
      return QStringLiteral("A temperature run");
    case LongOperation::SelfOptimizing:
      return QStringLiteral("Self-optimizing");
    case LongOperation::SteadyStateWait:
      return QStringLiteral("A wait for steady state");
    case LongOperation::None:
      break;
  }
  return {};
}

}  // namespace

std::optional<LongClaim> Operations::beginLong(LongOperation kind) {
  if (long_ == LongOperation::None) {
    long_ = kind;
    return LongClaim(long_);
  }
  // Two of them at once would drive the controller against each other.
  BeepIfSound(platform_, settings_);
  MsgBox(platform_,
         LongName(long_) + QStringLiteral(" is in progress.") + CRLF + LongName(kind) +
             QStringLiteral(" cannot start until it has ended."),
         MsgButtons::Ok, MsgIcon::None, QStringLiteral("OVX"));
  return std::nullopt;
}

void Operations::parameterKeyPress(QLineEdit* field, int key) {
  frmOVX& form = form_;
  const std::array<FieldRule, 4> rules{{{form.W, kSetpoint, QStringLiteral("W")},
                                        {form.P, kPTerm, QStringLiteral("P")},
                                        {form.I, kITerm, QStringLiteral("I")},
                                        {form.D, kDTerm, QStringLiteral("D")}}};
  const FieldRule* rule = nullptr;
  for (const FieldRule& r : rules)
    if (r.field == field) rule = &r;
  if (!rule || key < 0 || key > 0xFFFF) return;

  const QString typed(QChar(static_cast<char16_t>(key)));
  if (typed == QString(QChar(27))) {
    field->setText(PlainWord(commands_.DataBlock[rule->word]));
    field->setCursorPosition(0);
    field->deselect();
    return;
  }
  if (typed != QString(QChar(13))) return;

  // The range test looks at the leading number of this field only.
  const double value = LeadingNumber(field->text());
  double low = 0, high = 500;
  QString message;
  if (rule->word == kSetpoint) {
    const int16_t lowWord = commands_.DataBlock[kSetpointLow];
    const int16_t highWord = commands_.DataBlock[kSetpointHigh];
    // A limit that did not decode leaves no range that a value could be in.
    low = lowWord == kNoValue ? 1 : lowWord;
    high = highWord == kNoValue ? 0 : highWord;
    message = QStringLiteral("Set point value is out of range [") +
              TrimBlanks(BlankSignedWord(lowWord)) + QStringLiteral(" <= W <= ") +
              TrimBlanks(BlankSignedWord(highWord)) + QStringLiteral("].");
  } else {
    high = rule->word == kPTerm ? 500 : 5000;
    message = rule->name + QStringLiteral(" value is out of range [0 <= ") + rule->name +
              QStringLiteral(" <= ") + Plain(high) + QStringLiteral("].");
  }
  if (value < low || value > high) {
    refuseField(platform_, settings_, field, message);
    return;
  }

  // All four fields are written, so each must hold nothing but a number that
  // rounds into a 16-bit word; otherwise nothing goes to the controller.
  std::array<int16_t, 4> words{};
  for (size_t i = 0; i < rules.size(); ++i) {
    const FieldRule& r = rules[i];
    const QString text = r.field->text();
    const std::optional<double> number = WholeNumber(text);
    const std::optional<int16_t> word = number ? ToInt16(*number) : std::nullopt;
    if (!word) {
      QString why;
      if (text.trimmed().isEmpty())
        why = r.name + QStringLiteral(" value is empty.");
      else if (!number)
        why = r.name + QStringLiteral(" value is not a number.");
      else
        why = r.name + QStringLiteral(" value is out of range [-32768 <= ") + r.name +
              QStringLiteral(" <= 32767].");
      refuseField(platform_, settings_, r.field, why);
      return;
    }
    words[i] = *word;
  }
  const int16_t before = commands_.DataBlock[kSetpoint];
  for (size_t i = 0; i < rules.size(); ++i) commands_.DataBlock[rules[i].word] = words[i];
  commands_.SendDataBlock();
  if (words[0] != before) {
    OperationEvent written(OperationEvent::Kind::SetpointWritten);
    written.setpoint = words[0];
    post(written);
  }
}

void Operations::SwitchHeaterOutput(bool on) {
  switchHeater(on, false);
}

void Operations::alarmHeaterOff() {
  // The switch reads and writes; an alarm raised meanwhile finds it under way.
  if (alarmSwitching_) return;
  alarmSwitching_ = true;
  if (busy_ > 0) {
    stoppedByAlarm_ = true;
    form_.CancelFlag = true;
  }
  switchHeater(false, true);
  alarmSwitching_ = false;
}

void Operations::switchHeater(bool on, bool byAlarm) {
  const Busy busy(*this);
  frmOVX& form = form_;
  form.setStatusLine(QStringLiteral("Switching heater output ") +
                     (on ? QStringLiteral("ON...") : QStringLiteral("OFF...")));
  commands_.GetDataBlock(true);
  int16_t& out = commands_.DataBlock[kHeaterOutput];
  const int16_t wanted = on ? 1 : 0;
  // The alarm switched the heater off while this read ran: it stays off.
  if (out != wanted && !(on && stoppedByAlarm_)) {
    out = wanted;
    commands_.SendDataBlock();
    OperationEvent switched(OperationEvent::Kind::HeaterSwitched);
    switched.on = on;
    switched.byAlarm = byAlarm;
    post(switched);
    // Read back, so that the indicator shows what the controller now holds.
    commands_.GetDataBlock(true);
    form.ShowHeaterStatus();
    BeepIfSound(platform_, settings_);
  }
  form.setStatusLine(QStringLiteral("Ready"));
}

void Operations::HeaterStatus_DblClick() {
  SwitchHeaterOutput(commands_.DataBlock[kHeaterOutput] == 0);
}

void Operations::menuOVXStatus_Click() {
  commands_.GetDataBlock(true);
  commands_.GetValueBlock(true);
  const QString& nl = CRLF;
  const DataBlockWords& block = commands_.DataBlock;
  const QString text =
      QStringLiteral("Setpoint:") + BlankSignedWord(block[kSetpoint]) + nl +
      QStringLiteral("Actual Temperature:") + BlankSignedWord(commands_.Values.ActualTemperature) +
      nl + nl + QStringLiteral("P:") + BlankSignedWord(block[kPTerm]) + nl + QStringLiteral("I:") +
      BlankSignedWord(block[kITerm]) + nl + QStringLiteral("D:") + BlankSignedWord(block[kDTerm]) +
      nl + nl +
      (block[kHeaterOutput] != 0 ? QStringLiteral("Heater Output is ON")
                                 : QStringLiteral("Heater Output is OFF")) +
      nl + nl + QStringLiteral("Optimization Status:") +
      BlankSigned(commands_.Values.OptimizationStatus) + nl + QStringLiteral("Output Status:") +
      BlankSigned(commands_.Values.OutputStatus);
  MsgBox(platform_, text, MsgButtons::Ok, MsgIcon::None, QStringLiteral("OVX-Status"));
}

std::optional<int16_t> Operations::EnterSetpoint() {
  commands_.GetDataBlock(true);
  const int16_t current = commands_.DataBlock[kSetpoint];
  const int16_t low = commands_.DataBlock[kSetpointLow];
  const int16_t high = commands_.DataBlock[kSetpointHigh];
  const QString range = BlankSignedWord(low) + QStringLiteral("°C ...") + BlankSignedWord(high);
  for (;;) {
    const std::optional<QString> reply =
        platform_.inputBox(QStringLiteral("Enter new Setpoint W") + CRLF +
                               QStringLiteral("(Range:") + range + QStringLiteral("°C):"),
                           QStringLiteral("New Setpoint W"),
                           current == kNoValue ? QString() : Plain(current) + QStringLiteral("°C"));
    if (!reply) return std::nullopt;
    const QString text = TrimBlanks(*reply);
    if (text.isEmpty()) return std::nullopt;
    // A reply without a number at its start is refused like one out of
    // range: taken as 0, it would set W = 0 on the controller.
    const std::optional<double> value = NumberAtStart(text);
    // Within the 16-bit limits, so the conversion always succeeds; a limit
    // that did not decode leaves no range.
    const bool limits = low != kNoValue && high != kNoValue;
    if (value && limits && low <= *value && *value <= high) return ToInt16(*value);
    BeepIfSound(platform_, settings_);
    MsgBox(platform_,
           QStringLiteral("Value out of Range!") + CRLF + QStringLiteral("Valid range: ") + range +
               QStringLiteral("°C."),
           MsgButtons::Ok, MsgIcon::None, QStringLiteral("New Setpoint"));
  }
}

}  // namespace ovx
