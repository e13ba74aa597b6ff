#include "app/program.h"

#include <QApplication>

#include "app/settings.h"
#include "link/tools.h"
#include "platform/qt_platform.h"
#include "protocol/numtext.h"
#include "trend/trend_window.h"
#include "trun/frmtrun.h"
#include "trun/resume.h"
#include "ui/frmovx.h"
#include "ui/operations.h"
#include "ui/watch_dialog.h"

namespace ovx {

Program::Program(Platform& platform) : platform(platform) {}

Program::~Program() {
  if (form_) link.removeListener(form_.get());
  if (form_) recorder.removeListener(form_.get());
  link.removeListener(&monitor);
  link.removeListener(&watch);
  link.removeListener(&runLog);
  recorder.removeListener(&runLog);
  link.removeListener(&trendFeed);
  recorder.removeListener(&trendFeed);
  if (publisher) {
    link.removeListener(publisher.get());
    recorder.removeListener(publisher.get());
    // Before the window that its news goes to.
    publisher.reset();
  }
}

void Program::Main() {
  if (platform.anotherInstanceRunning()) {
    MsgBox(platform, QStringLiteral("OVX 7316 is already running..."), MsgButtons::Ok,
           MsgIcon::None, QStringLiteral("OVX"));
    platform.endProgram(1);
  }
  form_ = std::make_unique<frmOVX>(platform, settings, link, commands, pidStore, recorder);
  form_->onTemperatureRun = [this] { OpenTemperatureRun(); };
  form_->onUnload = [this](bool& Cancel) { Form_Unload(Cancel); };
  form_->onTrend = [this] { OpenTrend(); };
  form_->onWatch = [this] { OpenWatchSettings(); };
  form_->onAcknowledge = [this] { watch.acknowledge(); };
  // The alarm's heater switch runs once the line is free, whatever is in
  // progress: between operations, in a dwell, in a box.
  watch.onHeaterOff = [this] {
    if (heaterOffQueued_) return;
    heaterOffQueued_ = true;
    link.whenIdle([this] {
      heaterOffQueued_ = false;
      form_->ops().alarmHeaterOff();
    });
  };
  // The log first: a row is on disk before anything else reacts to it; then
  // the main window, then the trend.
  link.addListener(&runLog);
  recorder.addListener(&runLog);
  // Told in the window, never in a box while the run lasts: the run must
  // not wait for the operator.
  runLog.onTrouble = [this](const QString& notice, bool keptOn) {
    form_->setStatusLine(notice);
    form_->appendStatusText(notice + CRLF);
    form_->showRunLogMark(notice, keptOn);
  };
  runLog.onLost = [this](const QString& report) { form_->runLogLost(report); };
  link.addListener(form_.get());
  link.addListener(&trendFeed);
  recorder.addListener(&trendFeed);
  recorder.addListener(form_.get());
  // The watch last: what it says of a reading follows the reading.
  link.addListener(&monitor);
  link.addListener(&watch);
  Form_Load();
  CenterForm(platform, form_.get());
  form_->show();
  OfferResume();
}

void Program::OfferResume() {
  // Told in the trace whether or not Debug is on: the operator may wonder
  // why a run was not offered.
  const std::optional<Interrupted> run =
      FindInterrupted(platform, settings, commands.DataBlock,
                      [this](const QString& why) { form_->appendStatusText(why + CRLF); });
  if (!run) return;
  const ResumeChoice choice = AskResume(platform, commands, *run);
  runLog.resume(run->path, run->record, commands.DataBlock);
  if (choice == ResumeChoice::No) {
    form_->ops().post(OperationEvent(OperationEvent::Kind::RunNotResumed));
    form_->ops().post(OperationEvent(OperationEvent::Kind::RunEnded));
    return;
  }
  // The run so far, before the gap, for the trend.
  trendFeed.addLog(run->log);
  if (!TRun_) TRun_ = std::make_unique<frmTRun>(platform, settings, commands, pidStore, *form_);
  // Away until the operator's answer.
  const double away = double(run->record.lastRow.msecsTo(platform.wallClock())) / 1000;
  TRun_->Resume(run->record, choice == ResumeChoice::NextStep, away);
}

void Program::Form_Load() {
  Settings& g = settings;
  const QString separator = platform.pathSeparator();
  const QString systemDir = platform.systemDirectory();
  g.SystemDir = systemDir.isEmpty() ? QString() : systemDir + separator;
  const QString windowsDir = platform.windowsDirectory();
  g.WindowsDir = windowsDir.isEmpty() ? QString() : windowsDir + separator;

  if (!platform.fileExists(g.WindowsDir + QStringLiteral("ovx.ini")))
    WriteDefaultSettings(platform);
  // Settings that cannot be used end the start before the port is opened:
  // guessed values could address another controller.
  WatchSettings watching;
  QString unusable = ReadSettings(platform, g);
  if (unusable.isEmpty()) unusable = ReadWatchSettings(platform, g, watching);
  if (unusable.isEmpty()) unusable = ReadMqttSettings(platform, g, mqtt);
  if (!unusable.isEmpty()) {
    MsgBox(platform, unusable, MsgButtons::Ok, MsgIcon::None,
           QString::fromLatin1(kSettingsFileTitle));
    platform.endProgram(1);
  }

  OpenPort();

  if (g.Debug) {
    const QString& nl = CRLF;
    form_->appendStatusText(QStringLiteral("System directory: ") + g.SystemDir + nl +
                            QStringLiteral("Windows directory: ") + g.WindowsDir + nl + nl +
                            QStringLiteral("ControlLoopNumber:") +
                            BlankSigned(g.ControlLoopNumber) + nl + QStringLiteral("Dir: ") +
                            g.Dir + nl + QStringLiteral("Port:") + BlankSigned(g.Port) + nl +
                            QStringLiteral("ComSettings: ") + g.ComSettings + nl +
                            QStringLiteral("RxDelay:") + BlankSignedSingle(g.RxDelay) + nl +
                            QStringLiteral("TxDelay:") + BlankSignedSingle(g.TxDelay) + nl);
  }

  if (mqtt.enabled()) StartPublisher();
  form_->ops().StartupCheck();
  pidStore.CreateDefaultFile();
  watch.setWatchSettings(watching);
}

void Program::StartPublisher() {
  publisher = std::make_unique<Publisher>(platform, mqtt, runLog);
  publisher->onStatus = [this](const QString& text, const QString& trace) {
    form_->showBrokerStatus(text);
    if (!trace.isEmpty()) form_->appendStatusText(trace + CRLF);
  };
  // After the log, the window and the trend, but before the watch: an alarm
  // goes out after the reading that raised it, never with the X before it.
  link.removeListener(&monitor);
  link.removeListener(&watch);
  link.addListener(publisher.get());
  link.addListener(&monitor);
  link.addListener(&watch);
  recorder.addListener(publisher.get());
  publisher->start();
}

void Program::OpenPort() {
  const Settings& g = settings;
  const QString n = QString::number(g.Port);
  Comm1 = platform.createSerialPort();
  if (!Comm1->setSettings(g.ComSettings)) {
    MsgBox(platform,
           QStringLiteral("Unable to open COM") + n + CRLF + QStringLiteral("with settings '") +
               g.ComSettings + QStringLiteral("'!") + CRLF,
           MsgButtons::Ok, MsgIcon::None, QStringLiteral("Port Settings"));
    platform.endProgram(1);
  }
  if (!Comm1->open(g.Port)) {
    // The design's text, then why and what to do, also for a terminal.
    QStringList lines{QStringLiteral("COM") + n + QStringLiteral(" not available!")};
    const PortFailure why = Comm1->openFailure();
    if (!why.reason.isEmpty()) lines << why.device + QStringLiteral(": ") + why.reason;
    lines << why.remedy;
    platform.writeStandardError(QStringLiteral("ovx: ") + lines.join(QStringLiteral("\novx: ")) +
                                QLatin1Char('\n'));
    MsgBox(platform, lines.join(CRLF) + CRLF, MsgButtons::Ok, MsgIcon::None,
           QStringLiteral("Open Communications Port"));
    platform.endProgram(1);
  }
  Comm1->raiseRtsDtr();
  link.setPort(Comm1.get());
  runLog.setDevice(Comm1->device());
}

void Program::OpenTemperatureRun() {
  // While a run is in progress its dialog stays hidden and no second run
  // can start.
  if (TRun_ && TRun_->running()) return;
  if (TRun_ && !TRun_->loaded()) TRun_.reset();
  if (!TRun_) TRun_ = std::make_unique<frmTRun>(platform, settings, commands, pidStore, *form_);
  TRun_->ShowCentered();
}

void Program::OpenTrend() {
  if (!trend_) {
    trend_ = std::make_unique<TrendWindow>(platform, settings, monitor, trendFeed);
    trend_->setWindowIcon(form_->windowIcon());
    CenterForm(platform, trend_.get());
  }
  trend_->open();
}

void Program::OpenWatchSettings() {
  watchDialog_ = std::make_unique<WatchDialog>(platform, settings, watch.watchSettings(),
                                               commands.DataBlock[kSetpointHigh], form_.get());
  watchDialog_->onApply = [this](const WatchSettings& s) { watch.setWatchSettings(s); };
  watchDialog_->open();
}

void Program::Form_Unload(bool& Cancel) {
  form_->ops().QuitCheck(Cancel);
  if (Cancel) return;
  form_->ops().post(OperationEvent(OperationEvent::Kind::ProgramEnding));
  platform.endProgram(0);
}

int RunOvx(const std::function<void()>& started) {
  QApplication::setApplicationName(QStringLiteral("ovx"));
  QApplication::setOrganizationName(QStringLiteral("ovx"));
  QtPlatform platform;
  platform.endOnSignals();
  Program program(platform);
  if (started) started();
  program.Main();
  return QApplication::exec();
}

}  // namespace ovx
