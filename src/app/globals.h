// Program-wide values: constants, settings, the controller's blocks in
// memory and the two request flags of the main window's buttons.
#pragma once

#include <QString>
#include <cstdint>

#include "link/blocks.h"

namespace ovx {

struct Globals {
  // Constants, set by InitGlobals.
  QString CRLF;
  QString CarriageReturn;
  QString Escape;

  QString SystemDir;   // with a trailing separator, or empty
  QString WindowsDir;  // with a trailing separator, or empty; "ovx.ini" lives here

  // Settings from "ovx.ini".
  int16_t ControlLoopNumber = 1;
  QString Dir;
  bool Debug = false;
  bool Sound = true;
  int16_t Port = 1;
  QString ComSettings = QStringLiteral("9600,n,8,1");
  float RxDelay = 0;
  float TxDelay = 1;

  DataBlockWords DataBlock{};
  ValueBlock Values;

  bool CancelFlag = false;  // set by the main window's Cancel button
  bool OKFlag = false;      // set by its OK button

  void InitGlobals();
};

}  // namespace ovx
