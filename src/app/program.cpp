#include "app/program.h"

#include "app/numtext.h"
#include "app/settings.h"
#include "trun/frmtrun.h"
#include "ui/frmovx.h"

namespace ovx {

Program::Program(Platform& platform) : platform(platform) {}

Program::~Program() = default;

void Program::Main() {
  if (platform.anotherInstanceRunning()) {
    MsgBox(QStringLiteral("OVX 7316 is already running..."), MsgButtons::Ok, MsgIcon::None,
           QStringLiteral("OVX"));
    platform.endProgram(1);
  }
  form_ = std::make_unique<frmOVX>(*this);
  Form_Load();
  tools.CenterForm(form_.get());
  form_->show();
}

void Program::Form_Load() {
  g.InitGlobals();

  const QString separator = platform.pathSeparator();
  const QString systemDir = platform.systemDirectory();
  g.SystemDir = systemDir.isEmpty() ? QString() : systemDir + separator;
  const QString windowsDir = platform.windowsDirectory();
  g.WindowsDir = windowsDir.isEmpty() ? QString() : windowsDir + separator;

  if (!tools.FileExists(g.WindowsDir + QStringLiteral("ovx.ini"))) WriteDefaultSettings(platform);
  // Settings that cannot be used end the start before the port is opened:
  // guessed values could address another controller.
  const QString unusable = ReadSettings(platform, g);
  if (!unusable.isEmpty()) {
    MsgBox(unusable, MsgButtons::Ok, MsgIcon::None, QString::fromLatin1(kSettingsFileTitle));
    platform.endProgram(1);
  }

  OpenPort();

  if (g.Debug) {
    const QString& nl = g.CRLF;
    form_->appendStatusText(QStringLiteral("System directory: ") + g.SystemDir + nl +
                            QStringLiteral("Windows directory: ") + g.WindowsDir + nl + nl +
                            QStringLiteral("ControlLoopNumber:") +
                            BlankSigned(g.ControlLoopNumber) + nl + QStringLiteral("Dir: ") +
                            g.Dir + nl + QStringLiteral("Port:") + BlankSigned(g.Port) + nl +
                            QStringLiteral("ComSettings: ") + g.ComSettings + nl +
                            QStringLiteral("RxDelay:") + BlankSignedSingle(g.RxDelay) + nl +
                            QStringLiteral("TxDelay:") + BlankSignedSingle(g.TxDelay) + nl);
  }

  ops.StartupCheck();
  pidFile.CreateDefaultFile();
}

void Program::OpenPort() {
  const QString n = QString::number(g.Port);
  Comm1 = platform.createSerialPort();
  if (!Comm1->setSettings(g.ComSettings)) {
    MsgBox(QStringLiteral("Unable to open COM") + n + g.CRLF + QStringLiteral("with settings '") +
               g.ComSettings + QStringLiteral("'!") + g.CRLF,
           MsgButtons::Ok, MsgIcon::None, QStringLiteral("Port Settings"));
    platform.endProgram(1);
  }
  if (!Comm1->open(g.Port)) {
    MsgBox(QStringLiteral("COM") + n + QStringLiteral(" not available!") + g.CRLF, MsgButtons::Ok,
           MsgIcon::None, QStringLiteral("Open Communications Port"));
    platform.endProgram(1);
  }
  Comm1->raiseRtsDtr();
}

void Program::OpenTemperatureRun() {
  // While a run is in progress its dialog stays hidden and no second run
  // can start.
  if (TRun_ && TRun_->running()) return;
  if (TRun_ && !TRun_->loaded()) TRun_.reset();
  if (!TRun_) TRun_ = std::make_unique<frmTRun>(*this);
  TRun_->ShowCentered();
}

void Program::Form_Unload(bool& Cancel) {
  ops.QuitCheck(Cancel);
  if (Cancel) return;
  platform.endProgram(0);
}

MsgAnswer Program::MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                          const QString& title, MsgAnswer defaultButton) {
  return platform.messageBox({text, title, buttons, icon, defaultButton});
}

}  // namespace ovx
