// One run of the control program: the platform it runs on, the settings,
// the link to the controller, the PID file, the recorder of events, and the
// windows, composed and wired together. A test builds a whole program on the
// test platform and throws it away.
#pragma once

#include <functional>
#include <memory>

#include "link/commands.h"
#include "link/link.h"
#include "pidstore/pidstore.h"
#include "platform/platform.h"
#include "protocol/settings.h"
#include "publish/mqtt_settings.h"
#include "publish/publisher.h"
#include "record/events.h"
#include "record/run_log.h"
#include "record/trend_feed.h"
#include "watch/monitor.h"
#include "watch/watch.h"

namespace ovx {

class frmOVX;
class frmTRun;
class TrendWindow;
class WatchDialog;

class Program {
 public:
  explicit Program(Platform& platform);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Start-up: refuses a second instance, loads, centres and shows the main
  // window, then offers a temperature run that did not end for resume. Ends
  // the program (Platform::endProgram) when start-up fails.
  void Main();
  // The load sequence of the main window, run while it is still hidden.
  void Form_Load();
  // Closing the main window: the quit check, then the end of the program
  // unless `Cancel` is set.
  void Form_Unload(bool& Cancel);

  frmOVX& form() { return *form_; }
  // "Temperature Run": loads the dialog when needed, centres and shows it.
  void OpenTemperatureRun();
  // The temperature-run dialog while it is loaded, else null.
  frmTRun* temperatureRun() { return TRun_.get(); }
  // "Trend": creates the trend window when first asked for (centred), and
  // shows it in front.
  void OpenTrend();
  // The trend window once created, else null.
  TrendWindow* trend() { return trend_.get(); }
  // "Watch…": the dialog of the watch's settings, shown in front.
  void OpenWatchSettings();
  WatchDialog* watchDialog() { return watchDialog_.get(); }

  Platform& platform;
  Settings settings;
  Link link{platform, settings};
  Commands commands{link};
  PidStore pidStore{platform, settings};
  Recorder recorder;
  RunLog runLog{platform, settings};
  // Listens to the link and the operations from the start.
  TrendFeed trendFeed{platform};
  // Reads when the trend's window or the watch asks for it.
  Monitor monitor{platform, link, commands};
  Watch watch{platform, settings, recorder, monitor};
  // Section [MQTT], and the publisher when it names a broker.
  MqttSettings mqtt;
  std::unique_ptr<Publisher> publisher;

 private:
  void OpenPort();
  // Offers the run whose log shows it did not end; resumes it (the whole run
  // runs from here) or closes its log, as the operator chooses.
  void OfferResume();
  // Starts publishing to the broker; its news goes to the window and the trace.
  void StartPublisher();
  std::unique_ptr<SerialPort> Comm1;
  std::unique_ptr<frmOVX> form_;
  std::unique_ptr<frmTRun> TRun_;
  std::unique_ptr<TrendWindow> trend_;
  std::unique_ptr<WatchDialog> watchDialog_;
  bool heaterOffQueued_ = false;  // the watch's heater switch waits for the line
};

// The program on the real platform, as `ovx` runs it once its QApplication
// exists: `started`, when given, is called before Main. Returns the exit
// status of the event loop.
int RunOvx(const std::function<void()>& started = {});

}  // namespace ovx
