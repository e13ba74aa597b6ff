#include "app/globals.h"

namespace ovx {

void Globals::InitGlobals() {
  CRLF = QStringLiteral("\r\n");
  CarriageReturn = QString(QChar(13));
  Escape = QString(QChar(27));
  Debug = false;
}

}  // namespace ovx
