// The main window: display routines, the trace area and key routing.

#include <QAccessible>
#include <QPlainTextEdit>

#include "support/harness.h"
#include "trun/frmtrun.h"

using namespace ovx;
using namespace ovx::test;

// A fixed-pitch trace for the columns of the steady-state display and the
// status line on the button face. The heater indicator: only 1 counts as on,
// and until the first read it is blank on the button face. The trace keeps
// its text and the newest line in view. Enter and Escape press the shown
// button; else they reach the control: in a parameter field Enter writes and
// Escape restores it from memory (unselected, the cursor at the start), in the
// trace Enter is a line break.
TEST(MainWindow, FacesTraceAndKeys) {
  Harness h(kScripted);
  frmOVX& form = h.form();
  const QFontMetrics trace = form.StatusText->fontMetrics();
  EXPECT_EQ(trace.horizontalAdvance("iii"), trace.horizontalAdvance("WWW"));
  const QString face = form.palette().color(QPalette::Button).name();
  EXPECT_EQ(form.StatusLine->palette().color(QPalette::Base).name(), face);
  auto indicator = [](frmOVX& f) {
    return f.HeaterStatus->text() + " " + f.HeaterStatus->palette().color(QPalette::Base).name();
  };
  Program& p = h.program();
  frmOVX fresh(p.platform, p.settings, p.link, p.commands, p.pidStore, p.recorder);
  QStringList shown{indicator(fresh)};
  for (int out : {1, 0, 2, 1}) {
    h.commands().DataBlock[kHeaterOutput] = int16_t(out);
    form.ShowHeaterStatus();
    shown << indicator(form);
  }
  EXPECT_EQ(shown,
            QStringList({" " + face, "ON #ff0000", "OFF #c0c0c0", "OFF #c0c0c0", "ON #ff0000"}));

  form.hide();  // written while the window is hidden, as at start-up
  form.setStatusText("first\r\n");
  for (int i = 0; i < 200; ++i) form.appendStatusText(QString("line %1\r\n").arg(i));
  form.appendStatusText("end\r");  // a CR LF split over two appends is one line break
  form.appendStatusText("\nlast");
  EXPECT_TRUE(form.statusText().endsWith("line 199\r\nend\r\nlast"));
  EXPECT_EQ(form.StatusText->blockCount(), 1 + 200 + 2);
  ShowActive(form);
  EXPECT_TRUE(form.StatusText->textCursor().atEnd());
  // Replaced as a whole, then typed into by the operator.
  form.setStatusText("a\r\nb");
  form.StatusText->setFocus();
  QTest::keyClicks(form.StatusText, "c");
  EXPECT_EQ(form.statusText(), "a\r\nbc");
  form.appendStatusText("\r\nd");
  EXPECT_EQ(form.StatusText->toPlainText(), "a\nbc\nd");

  const struct {
    const char* shown;  // O: OK, C: Cancel
    Qt::Key key;
    const char* result;  // "OK" or "Cancel" pressed, or "control"
  } cases[] = {
      {"", Qt::Key_Return, "control"},  {"", Qt::Key_Escape, "control"},
      {"OC", Qt::Key_Return, "OK"},     {"OC", Qt::Key_Enter, "OK"},
      {"OC", Qt::Key_Escape, "Cancel"}, {"C", Qt::Key_Return, "control"},
      {"C", Qt::Key_Escape, "Cancel"},
  };
  for (const auto& c : cases) {
    for (QWidget* control : std::initializer_list<QWidget*>{form.P, form.StatusText}) {
      SCOPED_TRACE(testing::Message() << control->objectName().toStdString() << " key " << c.key
                                      << " shown " << c.shown);
      form.OKFlag = form.CancelFlag = false;
      form.BtnOK->setVisible(QString(c.shown).contains('O'));
      form.BtnCancel->setVisible(QString(c.shown).contains('C'));
      const QString memory = QString::number(h.commands().DataBlock[kPTerm]);
      form.P->setText(memory == "7" ? "8" : "7");
      const size_t sent = h.sent().size();
      const QString before = form.StatusText->toPlainText();
      control->setFocus();
      form.P->selectAll();
      QTest::keyClick(control, c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      const QString field = form.P->text() + "|" + form.P->selectedText() + "|" +
                            QString::number(form.P->cursorPosition());
      const bool reached = c.key == Qt::Key_Escape ? control != form.P || field == memory + "||0"
                           : control == form.P     ? h.sent().size() > sent
                                                   : form.StatusText->toPlainText() != before;
      const char* result = form.OKFlag ? "OK" : form.CancelFlag ? "Cancel" : "nothing";
      EXPECT_EQ(QString(reached && !strcmp(result, "nothing") ? "control" : result), c.result)
          << form.P->text().toStdString();
    }
  }
}

// Each shortcut runs its entry's operation from every control while the menus
// are enabled, and nothing while they are disabled (Ctrl+X is then Cut again
// in a field). The default set leaves memory, fields and indicator alone.
// A screen reader hears each field by its label and the indicator with its
// state. In a dark colour scheme the status line keeps the scheme's text
// colour on its button face, also when the scheme changes; only the
// indicator keeps black on its own colours.
TEST(MainWindow, AccessibleNamesAndADarkScheme) {
  const QPalette light = QApplication::palette();
  const QPalette dark(QColor(53, 53, 53), QColor(30, 30, 30));  // button and window
  QApplication::setPalette(dark);
  Harness h(kScripted, Block(900, 10, 300, 60, 1));
  frmOVX& form = h.form();
  QStringList names;
  for (QWidget* control : {form.W, form.P, form.I, form.D, form.HeaterStatus})
    names << QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
  EXPECT_EQ(names.join('|'), "Setpoint W|P|I|D|Heater output: ON");
  using P = QPalette;
  const QPalette line = form.StatusLine->palette(), indicator = form.HeaterStatus->palette();
  EXPECT_EQ(std::tuple(line.color(P::Text), line.color(P::Base), indicator.color(P::Text)),
            std::tuple(dark.color(P::Text), dark.color(P::Button), QColor(Qt::black)));
  QApplication::setPalette(light);
  QEvent changed(QEvent::ApplicationPaletteChange);  // as a running application tells its windows
  QApplication::sendEvent(&form, &changed);
  EXPECT_EQ(form.StatusLine->palette().color(QPalette::Base), light.color(QPalette::Button));
}

TEST(MainWindow, MenuShortcutsFromEveryControlWhileTheMenusAreEnabled) {
  const DataBlockWords off = Block(850), on = Block(850, 10, 300, 60, 1);
  const QKeyCombination ctrlX = Qt::CTRL | Qt::Key_X;
  struct Case {
    QKeyCombination keys;
    bool heater;                     // on the controller before
    std::vector<QByteArray> frames;  // written
    const char* indicator;           // after
    const char* status;              // the status line after ("busy" before)
    bool dialog = false;             // the temperature-run dialog is shown
  } cases[] = {
      // clang-format off
      {ctrlX, true, {"R001NT?", "R001NT?"}, "ON", "busy"},  // the quit check, kept by Cancel
      {Qt::CTRL | Qt::Key_R, false, {}, "OFF", "busy", true},
      {QKeyCombination(Qt::Key_F7), true, {"R001NT?", WriteFrame(1, off), "R001NT?"}, "OFF", "Ready"},
      {QKeyCombination(Qt::Key_F8), false, {"R001NT?", WriteFrame(1, on), "R001NT?"}, "ON", "Ready"},
      {QKeyCombination(Qt::Key_F12), true, {WriteFrame(1, DefaultParameterSet())}, "ON", "Ready"},
      // clang-format on
  };
  for (const Case& c : cases) {
    for (bool enabled : {true, false}) {
      for (int i = 0; i < 3; ++i) {
        Harness h(kScripted, c.heater ? on : off);
        frmOVX& form = h.form();
        QWidget* control = std::array<QWidget*, 3>{form.W, form.HeaterStatus, form.StatusText}[i];
        SCOPED_TRACE(control->objectName().toStdString() + " " +
                     QKeySequence(c.keys).toString().toStdString() + (enabled ? "" : " disabled"));
        ShowActive(form);
        form.setMenusEnabled(enabled);
        form.setStatusLine("busy");
        form.W->selectAll();
        control->setFocus();
        h.platform.answers = {MsgAnswer::Cancel};
        QTest::keyClick(control, c.keys.key(), c.keys.keyboardModifiers());
        EXPECT_EQ(h.sent(), enabled ? c.frames : std::vector<QByteArray>{});
        EXPECT_EQ(h.platform.boxes.size(), enabled && c.keys == ctrlX ? 1u : 0u);
        EXPECT_EQ(form.HeaterStatus->text(), enabled ? c.indicator : c.heater ? "ON" : "OFF");
        EXPECT_EQ(form.statusLine(), enabled ? c.status : "busy");
        const frmTRun* dialog = h.program().temperatureRun();
        EXPECT_EQ(dialog && dialog->isVisible(), enabled && c.dialog);
        const bool cut = !enabled && c.keys == ctrlX && i == 0;
        EXPECT_EQ(Fields(form), cut ? " 10 300 60" : "850 10 300 60");
        EXPECT_TRUE(form.isVisible());
      }
    }
  }
}
