// The program's settings from "ovx.ini", and the line break of every text.
#pragma once

#include <QString>
#include <cstdint>

namespace ovx {

// Carriage return and line feed: the line break of messages, listings, the
// trace and frames.
inline const QString CRLF = QStringLiteral("\r\n");

struct Settings {
  QString SystemDir;   // with a trailing separator, or empty
  QString WindowsDir;  // with a trailing separator, or empty; "ovx.ini" lives here

  int16_t ControlLoopNumber = 1;
  QString Dir;  // folder of "pid.par", with a trailing separator, or empty
  bool Debug = false;
  bool Sound = true;
  int16_t Port = 1;
  QString ComSettings = QStringLiteral("9600,n,8,1");
  float RxDelay = 0;
  float TxDelay = 1;
  // [Run] ResumeWithin: seconds since its last row within which a run that
  // did not end is offered for resume; 0: never.
  int ResumeWithin = 3600;
};

}  // namespace ovx
