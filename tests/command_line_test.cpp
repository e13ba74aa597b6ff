// The command lines of ovx and ovx-sim, run as programs without a display.
#include <QDir>
#include <QProcess>

#include "support/harness.h"
#include "support/sim_process.h"

namespace ovx::test {
namespace {

// --help and --version answer without a display and touch neither the
// settings nor a port; any other argument of ovx's own is refused with
// status 2, while Qt's options stay Qt's.
TEST(CommandLine, HelpVersionAndRefusedArguments) {
  QTemporaryDir config, runtime;  // the runtime folder keeps Qt from warning
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  env.insert("XDG_CONFIG_HOME", config.path());
  env.insert("XDG_RUNTIME_DIR", runtime.path());
  const QString usage =
      "Usage: ovx [--help | --version] [Qt options, such as -platform NAME or -style NAME]\n";
  const struct {
    QString program;
    QStringList arguments;
    int status;
    QString out, err;
  } cases[] = {
      {OVX_BIN_PATH, {"--version"}, 0, "ovx " OVX_VERSION "\n", ""},
      {OVX_BIN_PATH, {"-v"}, 0, "ovx " OVX_VERSION "\n", ""},
      {SimProcess::path(), {"--version"}, 0, "ovx-sim " OVX_VERSION "\n", ""},
      {OVX_BIN_PATH, {"--help"}, 0, usage, ""},  // the first line of it
      {OVX_BIN_PATH,
       {"-platform", "offscreen", "-style", "Fusion", "--port=2"},
       2,
       "",
       "ovx: unknown argument '--port=2'\n" + usage + "Try 'ovx --help' for more.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(c.program, c.arguments);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), c.status);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_EQ(c.arguments == QStringList{"--help"} ? out.left(usage.size()) : out, c.out);
    EXPECT_EQ(QString::fromLocal8Bit(process.readAllStandardError()), c.err);
    if (c.arguments == QStringList{"--help"}) {
      EXPECT_TRUE(out.contains("Settings: " + config.path() + "/ovx/ovx.ini")) << out.toStdString();
      EXPECT_TRUE(out.endsWith("man ovx\n")) << out.toStdString();
    }
  }
  EXPECT_TRUE(QDir(config.path()).isEmpty()) << "no settings folder made";
}

}  // namespace
}  // namespace ovx::test
