// ovx: the control program of the OVX 7316 high-temperature controller.
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "app/program.h"
#include "platform/qt_platform.h"

namespace {

constexpr const char* kUsage =
    "Usage: ovx [--help | --version] [Qt options, such as -platform NAME or -style NAME]\n";

void PrintHelp() {
  const QByteArray folder = ovx::QtPlatform::settingsFolder().toLocal8Bit();
  std::printf(
      "%s\n"
      "The operator's front panel of a furnace driven by an OVX 7316 controller on\n"
      "one serial line: setpoint, PID terms, heater output, self-optimizing, PID sets\n"
      "per setpoint, temperature runs and a live trend.\n"
      "\n"
      "  -h, --help     print this help and exit\n"
      "  -v, --version  print the version and exit\n"
      "\n"
      "Settings: %s/ovx.ini (made with defaults when missing);\n"
      "COM port n is the device that %s/com<n> links to.\n"
      "pid.par and runs/ are kept in the current folder unless [General] Dir names another.\n"
      "The settings, the files and the exit statuses: man ovx\n",
      kUsage, folder.constData(), folder.constData());
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before anything needs a display, the settings or the port.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return 0;
    }
    if (arg == "--version" || arg == "-v") {
      std::printf("ovx %s\n", OVX_VERSION);
      return 0;
    }
  }
  // Takes Qt's own options out of argv; what is left is not for Qt.
  QApplication app(argc, argv);
  if (argc > 1) {
    std::fprintf(stderr, "ovx: unknown argument '%s'\n%sTry 'ovx --help' for more.\n", argv[1],
                 kUsage);
    return 2;
  }
  return ovx::RunOvx();
}
