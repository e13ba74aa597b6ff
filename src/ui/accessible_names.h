// Names of controls for assistive technology, such as a screen reader.
#pragma once

#include <QLabel>
#include <QString>

namespace ovx {

// Names the field by its label's caption without the colon ("Setpoint W:"
// names it "Setpoint W"), and makes the label its buddy.
inline void NameByLabel(QLabel* label, QWidget* field) {
  label->setBuddy(field);
  QString name = label->text().remove(QLatin1Char('&')).trimmed();
  if (name.endsWith(QLatin1Char(':'))) name.chop(1);
  field->setAccessibleName(name);
}

}  // namespace ovx
