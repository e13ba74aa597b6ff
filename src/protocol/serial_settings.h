// The line settings text "9600,n,8,1": baud, parity n/e/o/m/s, data bits 4..8,
// stop bits 1, 1.5 or 2.
#pragma once

#include <QString>
#include <optional>

namespace ovx {

struct LineSettings {
  int baud = 9600;
  char parity = 'n';    // n, e, o, m, s
  int dataBits = 8;     // 4..8
  double stopBits = 1;  // 1, 1.5, 2
  bool operator==(const LineSettings&) const = default;
};

// nullopt when the text is malformed.
std::optional<LineSettings> ParseLineSettings(const QString& text);

}  // namespace ovx
