// ovx as `ovx` runs it (RunOvx: the real platform, its boxes, files and
// serial port), with an operator played by a timer, for the tests that kill
// the program and start it again. Options, after Qt's:
//   --answer BUTTON          clicks BUTTON in every box that has it;
//   --run START,STOP,STEP,DWELL
//                            starts that temperature run from the menu once
//                            the main window shows;
//   --click TEXT             clicks the main window's button TEXT (without
//                            its "&") once, the first time it shows;
//   --die TEXT               ends with SIGKILL once the status line holds TEXT;
//   --quit                   closes the main window once a run has ended.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <csignal>

#include "app/program.h"

namespace {

QStringList answers;
QStringList run;
QString click, die;
bool quit = false;

QWidget* Window(const char* name) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QLatin1String(name)) return window;
  return nullptr;
}

// What the operator does on one look at the screen.
void Act() {
  if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
    for (QAbstractButton* button : box->buttons())
      if (answers.contains(button->text())) return button->click();
    return;
  }
  QWidget* main = Window("frmOVX");
  if (!main || !main->isVisible()) return;
  if (!die.isEmpty() &&
      main->findChild<QLineEdit*>(QStringLiteral("StatusLine"))->text().contains(die))
    ::raise(SIGKILL);
  // The run's dialog shows again when the run ends. Closing asks whether to
  // quit, which this timer answers: from a timer of its own.
  if (quit && Window("frmTRun") && Window("frmTRun")->isVisible())
    quit = false, QTimer::singleShot(0, main, &QWidget::close);
  if (!run.isEmpty()) {
    main->findChild<QAction*>(QStringLiteral("menuTemperatureRun"))->trigger();
    QWidget* dialog = Window("frmTRun");
    for (const char* field : {"TStart", "TStop", "TStep", "DwellTime"})
      dialog->findChild<QLineEdit*>(QLatin1String(field))->setText(run.takeFirst());
    // From a timer of its own, too: the run lasts as long as the click.
    QTimer::singleShot(0, dialog->findChild<QPushButton*>(QStringLiteral("btnStart")),
                       &QPushButton::click);
  }
  for (QPushButton* button : main->findChildren<QPushButton*>())
    if (button->isVisible() && button->text().remove(QLatin1Char('&')) == click)
      click.clear(), button->click();
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const QString option = QString::fromLocal8Bit(argv[i]);
    const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
    if (option == QLatin1String("--answer")) answers << value;
    if (option == QLatin1String("--run")) run = value.split(QLatin1Char(','));
    if (option == QLatin1String("--click")) click = value;
    if (option == QLatin1String("--die")) die = value;
    quit = quit || option == QLatin1String("--quit");
  }
  QApplication app(argc, argv);
  return ovx::RunOvx([] {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, &Act);
    timer->start(10);
  });
}
