// Settings that cannot be used end the start before anything reaches the
// line; and where the main window opens.
#include <gtest/gtest.h>

#include <QDir>

#include "support/harness.h"

using namespace ovx;
using namespace ovx::test;

TEST(Settings, UnusableValueEndsTheStartWithItsBox) {
  const QByteArray huge = "1" + QByteArray(40, '0');  // infinite in single precision
  const QString range16 = "\r\nValid range: -32767 ... 32767.";
  const QString delays = "\r\nValid range: 0 ... 3.4E+38 seconds.";
  struct Case {
    QByteArray ini;  // empty: a folder named ovx.ini
    QString text;    // "{ini}" stands for the file's full path
  } cases[] = {
      {"", "Unable to read file '{ini}':\r\nIs a directory"},
      {"[General]\nControlLoopNumber=70005\n",
       "Invalid value '70005' of 'ControlLoopNumber'\r\nin Section [General] of {ini}" + range16},
      {"[General]\nControlLoopNumber=-32768\n",
       "Invalid value '-32768' of 'ControlLoopNumber'\r\nin Section [General] of {ini}" + range16},
      {"[COM]\nPort=32768\n",
       "Invalid value '32768' of 'Port'\r\nin Section [COM] of {ini}" + range16},
      {"[COM]\nRxDelay=-0.5\n",
       "Invalid value '-0.5' of 'RxDelay'\r\nin Section [COM] of {ini}" + delays},
      {"[COM]\nTxDelay=" + huge + " s\n",
       "Invalid value '" + huge + " s' of 'TxDelay'\r\nin Section [COM] of {ini}" + delays},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini.constData());
    Harness h(nullptr);
    if (c.ini.isEmpty()) {
      ASSERT_TRUE(QDir(h.platform.dir()).mkdir("ovx.ini"));
    } else {
      h.platform.writeIni(c.ini);
    }
    h.platform.answers = {MsgAnswer::Ok};
    // Opening the port ends the program with another status (and a delay
    // that was let through cannot hang the test).
    h.platform.onCreatePort = [](TestSerialPort&) { throw ProgramEnded{99}; };
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.endStatus, 1);
    EXPECT_TRUE(OnlyBox(h.platform, QString(c.text).replace("{ini}", h.platform.dir() + "/ovx.ini"),
                        "Settings File", MsgButtons::Ok, MsgIcon::None));
  }
}

TEST(Settings, MainWindowCentredByItsClientArea) {
  Harness h;
  ASSERT_TRUE(h.start());
  // (15360 - 4050) / 2 and (11520 - 3855) / 2 twips: the menu bar lies
  // outside the client area, like the caption.
  EXPECT_EQ(h.form().pos(), QPoint(5655 / 15, 3832 / 15));
}
