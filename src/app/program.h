// One run of the control program: the platform it runs on, its program-wide
// values, the serial port, the modules and the main window. A test builds a
// whole program on the test platform and throws it away.
#pragma once

#include <memory>

#include "app/globals.h"
#include "app/tools.h"
#include "link/commands.h"
#include "link/link.h"
#include "pidstore/pidfile.h"
#include "platform/platform.h"
#include "ui/modovx.h"

namespace ovx {

class frmOVX;
class frmTRun;

inline constexpr const char* kApplicationTitle = "KALVEN OVX 7316";

class Program {
 public:
  explicit Program(Platform& platform);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Start-up: refuses a second instance, loads, centres and shows the main
  // window. Ends the program (Platform::endProgram) when start-up fails.
  void Main();
  // The load sequence of the main window, run while it is still hidden.
  void Form_Load();
  // Closing the main window: the quit check, then the end of the program
  // unless `Cancel` is set.
  void Form_Unload(bool& Cancel);

  // Shows a message box, parented to the main window once it is visible.
  MsgAnswer MsgBox(const QString& text, MsgButtons buttons = MsgButtons::Ok,
                   MsgIcon icon = MsgIcon::None, const QString& title = QString(),
                   MsgAnswer defaultButton = MsgAnswer::Ok);

  frmOVX& form() { return *form_; }
  // "Temperature Run": loads the dialog when needed, centres and shows it.
  void OpenTemperatureRun();
  // The temperature-run dialog while it is loaded, else null.
  frmTRun* temperatureRun() { return TRun_.get(); }

  Platform& platform;
  Globals g;
  std::unique_ptr<SerialPort> Comm1;
  Tools tools{*this};
  Link link{*this};
  Commands commands{*this};
  Operations ops{*this};
  PidFile pidFile{*this};

 private:
  void OpenPort();
  std::unique_ptr<frmOVX> form_;
  std::unique_ptr<frmTRun> TRun_;
};

}  // namespace ovx
