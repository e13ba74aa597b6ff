#include "ui/watch_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "link/tools.h"
#include "protocol/blocks.h"
#include "protocol/numtext.h"

namespace ovx {

namespace {

// The labels of the keys after Enabled, each with its mnemonic.
const char* const kLabels[] = {
    "&Interval (s):",       "O&ver-temperature (°C):", "&Deviation (°C):",
    "Deviation ti&me (s):", "&No answer time (s):",    "&Runaway time (s):"};

}  // namespace

WatchDialog::WatchDialog(Platform& platform, const Settings& settings, const WatchSettings& watch,
                         int highLimit, QWidget* parent)
    : QDialog(parent), platform_(platform), settings_(settings) {
  setObjectName(QStringLiteral("Watch"));
  setWindowTitle(QStringLiteral("Watch"));
  auto* column = new QVBoxLayout(this);
  enabled =
      new QCheckBox(QStringLiteral("&Enabled: read and judge the furnace at all times"), this);
  enabled->setChecked(watch.Enabled);
  column->addWidget(enabled);
  auto* form = new QFormLayout;
  column->addLayout(form);
  const auto& keys = WatchKeys();
  for (size_t i = 0; i < fields.size(); ++i) {
    const WatchKey& key = keys[i + 1];
    QLineEdit* field = fields[i] = new QLineEdit(this);
    field->setObjectName(QLatin1String(key.name));
    const std::optional<int> value = key.get(watch);
    field->setText(value ? QString::number(*value) : QString());
    field->setToolTip(WatchRange(key));
    auto* label = new QLabel(QString::fromUtf8(kLabels[i]), this);
    label->setBuddy(field);
    form->addRow(label, field);
  }
  // An SP H that did not decode gives no number.
  fields[1]->setPlaceholderText(QStringLiteral("SP H + 20") +
                                (highLimit == kNoValue
                                     ? QString()
                                     : QStringLiteral(" = ") + QString::number(highLimit + 20)));
  column->addWidget(
      new QLabel(QStringLiteral("The watch is no safety device: the furnace needs its own\n"
                                "over-temperature cut-out, as a relay can fail closed."),
                 this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &WatchDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &WatchDialog::reject);
}

void WatchDialog::accept() {
  const auto& keys = WatchKeys();
  WatchSettings watch;
  keys[0].set(watch, enabled->isChecked() ? 1 : 0);
  QStringList texts{enabled->isChecked() ? QStringLiteral("1") : QStringLiteral("0")};
  for (size_t i = 0; i < fields.size(); ++i) {
    const WatchKey& key = keys[i + 1];
    QLineEdit* field = fields[i];
    std::optional<int> value;
    if (!ParseWatchValue(key, field->text(), value)) {
      const QString name = QLatin1String(key.name);
      const bool number = WholeNumber(field->text()).has_value();
      BeepIfSound(platform_, settings_);
      MsgBox(
          platform_,
          name + (number ? QStringLiteral(" value is out of range [") + QString::number(key.low) +
                               QStringLiteral(" <= ") + name + QStringLiteral(" <= ") +
                               QString::number(key.high) + QStringLiteral("].")
                         : QStringLiteral(" value is not a whole number.")),
          MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Invalid input"));
      field->setFocus();
      field->selectAll();
      return;
    }
    key.set(watch, value);
    texts << (value ? QString::number(*value) : QString());
  }
  bool written = true;
  for (size_t i = 0; i < keys.size(); ++i)
    written &= platform_.writeProfileString(QStringLiteral("Watch"), QLatin1String(keys[i].name),
                                            texts[i], QStringLiteral("ovx.ini"));
  if (onApply) onApply(watch);
  if (!written)
    MsgBox(platform_,
           QStringLiteral("Unable to write section [Watch] of ") + settings_.WindowsDir +
               QStringLiteral("ovx.ini.") + CRLF +
               QStringLiteral("The settings apply until the program ends."),
           MsgButtons::Ok, MsgIcon::None, QStringLiteral("Watch"));
  QDialog::accept();
}

}  // namespace ovx
