// The main window: layout, menus, display routines and key routing.
#include <gtest/gtest.h>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "protocol/codec.h"
#include "support/harness.h"

namespace ovx {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void showActive() {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }
  // A whole program on the controller model, so that keys reach the
  // operations behind them.
  test::Harness h;
  bool started = h.start();
  Program& program = h.program();
  frmOVX& form = h.form();
  void SetUp() override { ASSERT_TRUE(started); }
};

// Records the keys that a control passed on to its parent.
struct KeySpy : QObject {
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) keys.push_back(static_cast<QKeyEvent*>(event)->key());
    return false;
  }
  std::vector<int> keys;
};

TEST_F(MainWindowTest, Layout) {
  const std::pair<const char*, QRect> places[] = {
      // clang-format off
      {"lblW", {6, 9, 67, 16}}, {"W", {78, 6, 80, 19}}, {"lblP", {165, 9, 19, 16}},
      {"P", {189, 6, 80, 19}}, {"lblI", {165, 30, 19, 16}}, {"I", {189, 27, 80, 19}},
      {"lblD", {165, 51, 19, 16}}, {"D", {189, 48, 80, 19}}, {"BtnCancel", {79, 28, 79, 19}},
      {"BtnOK", {79, 49, 79, 19}}, {"StatusText", {3, 72, 265, 157}},
      {"StatusLine", {3, 236, 217, 19}}, {"HeaterStatus", {224, 236, 43, 19}},
      // clang-format on
  };
  for (const auto& [name, px] : places) {
    auto* control = form.findChild<QWidget*>(name);
    ASSERT_NE(control, nullptr) << name;
    EXPECT_EQ(control->geometry(), px) << name;
  }
  // Fixed size, known before the window is shown (it is centred first).
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.size(), QSize(270, form.menuBar()->height() + 257));
  EXPECT_EQ(form.windowTitle(), "KALVEN OVX 7316");
  EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(32, 32)));
  for (QLabel* label : {form.lblW, form.lblP, form.lblI, form.lblD}) {
    EXPECT_TRUE(label->alignment() & Qt::AlignRight);
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  }
  EXPECT_EQ(form.lblW->text() + form.lblP->text() + form.lblI->text() + form.lblD->text(),
            "Setpoint W:P:I:D:");
  EXPECT_EQ(form.BtnCancel->text() + form.BtnOK->text(), "&Cancel&OK");
  EXPECT_TRUE(form.BtnCancel->isHidden() && form.BtnOK->isHidden());
  const QColor buttonFace = form.palette().color(QPalette::Button);
  EXPECT_EQ(form.StatusLine->palette().color(QPalette::Base), buttonFace);
  // Until the first read the indicator is blank on the button face.
  frmOVX fresh(program.platform, program.settings, program.link, program.commands, program.pidStore,
               program.recorder);
  EXPECT_EQ(fresh.HeaterStatus->palette().color(QPalette::Base), buttonFace);
  EXPECT_EQ(fresh.HeaterStatus->text(), "");
  EXPECT_EQ(form.HeaterStatus->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  const bool courier = QFontDatabase::families().contains("Courier New");
  EXPECT_EQ(form.StatusText->font().family(),
            courier ? "Courier New" : QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
}

TEST_F(MainWindowTest, TabOrder) {
  showActive();
  auto walk = [&] {
    QStringList names{form.focusWidget()->objectName()};
    for (int i = 0; i < 9; ++i) {
      QTest::keyClick(form.focusWidget(), Qt::Key_Tab);
      names << form.focusWidget()->objectName();
    }
    return names.join(' ');
  };
  EXPECT_EQ(walk(), "W P I D StatusLine HeaterStatus StatusText W P I");
  form.BtnOK->show();
  form.BtnCancel->show();
  form.W->setFocus();
  EXPECT_EQ(walk(), "W P I D StatusLine HeaterStatus BtnCancel BtnOK StatusText W");
}

TEST_F(MainWindowTest, Menus) {
  showActive();
  QStringList bar;  // a line per menu: its entries with their shortcuts, "-" a separator
  for (QAction* top : form.menuBar()->actions()) {
    // Shown in the bar, even without entries.
    EXPECT_FALSE(form.menuBar()->actionGeometry(top).isEmpty()) << top->text().toStdString();
    bar << top->menu()->objectName() + " " + top->text() + ":";
    for (QAction* entry : top->menu()->actions())
      bar.last() += " " +
                    (entry->isSeparator() ? "-"
                                          : entry->objectName() + " " + entry->text() + " " +
                                                entry->shortcut().toString()) +
                    ";";
  }
  EXPECT_EQ(bar, QStringList({
                     "menuFile &File: menuLoadPID &Load PID's ; menuFileSavePID &Save PID's ; -; "
                     "menuFileExit &Exit Ctrl+X;",
                     "menuTemperature &Temperature: menuTemperatureRun &Temperature Run Ctrl+R;",
                     "menuOVX &OVX: menuOVXHeaterOutputOFF Heater Output &OFF F7; "
                     "menuHeaterOutputON &Heater Output ON F8; -; menuOVXSelfOptimizing Start "
                     "Self-&Optimizing ; -; menuOVXSendDefault Send &Default Parameter Set F12; -; "
                     "menuOVXStatus Query &Status ;",
                     "MenuInfo &?: menuInfoTrend &Trend Ctrl+T;",
                 }));
}

TEST_F(MainWindowTest, ShowParametersAndHeaterStatus) {
  DataBlockWords& block = program.commands.DataBlock;
  block[kSetpoint] = -5;
  block[kPTerm] = 900;
  block[kITerm] = 0;
  block[kDTerm] = 32767;
  form.ShowParameters();
  EXPECT_EQ(test::Fields(form), "-5 900 0 32767");

  const QColor red(255, 0, 0), grey(0xC0, 0xC0, 0xC0);
  for (auto [out, text, background] :
       {std::tuple{1, "ON", red}, {0, "OFF", grey}, {2, "OFF", grey}, {1, "ON", red}}) {
    block[kHeaterOutput] = int16_t(out);
    form.ShowHeaterStatus();
    EXPECT_EQ(form.HeaterStatus->text(), text) << out;
    EXPECT_EQ(form.HeaterStatus->palette().color(QPalette::Base), background) << out;
  }
}

TEST_F(MainWindowTest, TraceKeepsItsTextAndTheNewestLineInView) {
  // Written while the window is still hidden, as at start-up.
  form.setStatusText("first\r\n");
  for (int i = 0; i < 200; ++i) form.appendStatusText(QString("line %1\r\n").arg(i));
  form.appendStatusText("end\r");  // a CR LF split over two appends is one line break
  form.appendStatusText("\nlast");
  EXPECT_TRUE(form.statusText().startsWith("first\r\nline 0\r\nline 1\r\n"));
  EXPECT_TRUE(form.statusText().endsWith("line 199\r\nend\r\nlast"));
  EXPECT_EQ(form.StatusText->blockCount(), 1 + 200 + 2);
  showActive();
  EXPECT_TRUE(form.StatusText->textCursor().atEnd());
  EXPECT_GT(form.StatusText->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(form.StatusText->viewport()->rect().contains(form.StatusText->cursorRect()));

  // Replaced as a whole, then typed into by the operator.
  form.setStatusText("a\r\nb");
  form.StatusText->setFocus();
  QTest::keyClicks(form.StatusText, "c");
  EXPECT_EQ(form.statusText(), "a\r\nbc");
  form.appendStatusText("\r\nd");
  EXPECT_EQ(form.StatusText->toPlainText(), "a\nbc\nd");
}

TEST_F(MainWindowTest, EnterAndEscapePressTheShownButtonsElseReachTheControls) {
  const struct {
    bool okShown, cancelShown;
    Qt::Key key;
    bool ok, cancel;  // flags set; the key reaches the control when neither is
  } cases[] = {
      {false, false, Qt::Key_Return, false, false}, {false, false, Qt::Key_Escape, false, false},
      {true, true, Qt::Key_Return, true, false},    {true, true, Qt::Key_Enter, true, false},
      {true, true, Qt::Key_Escape, false, true},    {false, true, Qt::Key_Return, false, false},
      {false, true, Qt::Key_Escape, false, true},
  };
  showActive();
  KeySpy passedOn;  // a line edit passes Enter and Escape on to its parent
  form.centralWidget()->installEventFilter(&passedOn);
  for (const auto& c : cases) {
    for (QWidget* control : std::initializer_list<QWidget*>{form.P, form.StatusText}) {
      SCOPED_TRACE(testing::Message() << control->objectName().toStdString() << " key " << c.key
                                      << " shown " << c.okShown << c.cancelShown);
      program.form().OKFlag = program.form().CancelFlag = false;
      passedOn.keys.clear();
      form.BtnOK->setVisible(c.okShown);
      form.BtnCancel->setVisible(c.cancelShown);
      control->setFocus();
      const QString before = form.StatusText->toPlainText();
      QTest::keyClick(control, c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      EXPECT_EQ(program.form().OKFlag, c.ok);
      EXPECT_EQ(program.form().CancelFlag, c.cancel);
      const bool reached = !c.ok && !c.cancel;
      if (control == form.P) {
        EXPECT_EQ(passedOn.keys == std::vector<int>{c.key}, reached);
      } else if (c.key != Qt::Key_Escape) {
        EXPECT_EQ(form.StatusText->toPlainText() != before, reached);
      }
    }
  }
}

TEST_F(MainWindowTest, MenuShortcutsWorkFromEveryControlWhileTheMenusAreEnabled) {
  showActive();
  // The entries fire only the spies, not the operations behind them.
  for (QMenu* menu : {form.menuFile, form.menuTemperature, form.menuOVX})
    for (QAction* entry : menu->actions()) QObject::disconnect(entry, nullptr, &form, nullptr);
  const std::pair<QAction*, QKeyCombination> shortcuts[] = {
      {form.menuFileExit, Qt::CTRL | Qt::Key_X},
      {form.menuTemperatureRun, Qt::CTRL | Qt::Key_R},
      {form.menuOVXHeaterOutputOFF, QKeyCombination(Qt::Key_F7)},
      {form.menuHeaterOutputON, QKeyCombination(Qt::Key_F8)},
      {form.menuOVXSendDefault, QKeyCombination(Qt::Key_F12)}};
  for (bool enabled : {true, false}) {
    form.setMenusEnabled(enabled);
    for (QMenu* menu : {form.menuFile, form.menuTemperature, form.menuOVX, form.MenuInfo})
      EXPECT_EQ(menu->menuAction()->isEnabled(), enabled);
    for (QWidget* control :
         std::initializer_list<QWidget*>{form.W, form.HeaterStatus, form.StatusText}) {
      for (auto [entry, keys] : shortcuts) {
        SCOPED_TRACE(control->objectName().toStdString() + " " + entry->objectName().toStdString() +
                     (enabled ? " enabled" : " disabled"));
        form.W->setText("850");
        form.W->selectAll();
        control->setFocus();
        QSignalSpy fired(entry, &QAction::triggered);
        QTest::keyClick(control, keys.key(), keys.keyboardModifiers());
        EXPECT_EQ(fired.count(), enabled ? 1 : 0);
        // With the menus off, Ctrl+X is Cut again in a field.
        if (control == form.W && entry == form.menuFileExit) {
          EXPECT_EQ(form.W->text(), enabled ? "850" : "");
        }
      }
    }
  }
}

// The default set goes out; memory, fields and indicator stay as last read.
TEST_F(MainWindowTest, F12SendsTheDefaultSetAndLeavesTheIndicator) {
  showActive();
  h.commands().DataBlock[kHeaterOutput] = 1;
  const DataBlockWords memory = h.commands().DataBlock;
  const size_t before = h.frames().size();
  const QString fields = test::Fields(form);
  form.setStatusLine("busy");
  QTest::keyClick(form.P, Qt::Key_F12);
  EXPECT_EQ(h.frames(before),
            std::vector<QByteArray>{"S001  T " + EncodeDataBlock(DefaultParameterSet()) + "0C32Q"});
  EXPECT_EQ(h.model.dataBlock(), DefaultParameterSet());
  EXPECT_EQ(h.commands().DataBlock, memory);
  EXPECT_EQ(form.HeaterStatus->text(), "ON");
  EXPECT_EQ(test::Fields(form), fields);
  EXPECT_EQ(form.statusLine(), "Ready");
}

TEST_F(MainWindowTest, CtrlXInAFieldAsksToQuitAndCancelKeepsTheWindow) {
  showActive();
  h.model.dataBlock()[kHeaterOutput] = 1;
  h.platform.answers = {MsgAnswer::Cancel};
  h.form().W->setFocus();
  QTest::keyClick(h.form().W, Qt::Key_X, Qt::ControlModifier);
  ASSERT_EQ(h.platform.boxes.size(), 1u);
  EXPECT_TRUE(h.platform.boxes[0].request.text.contains("The heater output is still ON!"));
  EXPECT_TRUE(h.form().isVisible());
}

}  // namespace
}  // namespace ovx
