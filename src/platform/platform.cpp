#include "platform/platform.h"

namespace ovx {

QString clipLines(const QString& text, qsizetype limit) {
  QString clipped;
  qsizetype column = 0;  // characters of the current line so far
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      column = 0;
    } else if (c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate()) {
      // The second half of a character outside the basic plane goes with
      // the first.
      if (column > limit) continue;
    } else if (++column > limit) {
      if (column == limit + 1) clipped += QChar(0x2026);
      continue;
    }
    clipped += c;
  }
  return clipped;
}

MsgAnswer Platform::messageBox(const MessageBoxRequest& request) {
  // A line of a million characters would make a box far wider than the
  // screen and take seconds to lay out.
  MessageBoxRequest shown = request;
  shown.text = clipLines(request.text);
  return showMessageBox(shown);
}

}  // namespace ovx
