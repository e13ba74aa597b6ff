// The line settings text ("9600,n,8,1") as read from "ovx.ini".
#include "check.h"
#include "protocol/serial_settings.h"

using namespace ovx;
using namespace ovx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = Text(std::string(reinterpret_cast<const char*>(data), size));
  const auto settings = ParseLineSettings(text);
  if (!settings) return 0;

  FUZZ_CHECK(settings->baud > 0);
  FUZZ_CHECK(settings->parity && QByteArray("neoms").contains(settings->parity));
  FUZZ_CHECK(settings->dataBits >= 4 && settings->dataBits <= 8);
  FUZZ_CHECK(settings->stopBits == 1 || settings->stopBits == 1.5 || settings->stopBits == 2);

  // Letter case does not matter, and the settings written plainly read back.
  const auto upper = ParseLineSettings(text.toUpper());
  FUZZ_CHECK(upper == settings);
  const auto again = ParseLineSettings(QString("%1,%2,%3,%4")
                                           .arg(settings->baud)
                                           .arg(QLatin1Char(settings->parity))
                                           .arg(settings->dataBits)
                                           .arg(settings->stopBits));
  FUZZ_CHECK(again == settings);
  return 0;
}
