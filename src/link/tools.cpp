#include "link/tools.h"

#include <algorithm>

namespace ovx {

void Delay(Platform& platform, float seconds) {
  const double start = platform.now();
  for (;;) {
    const float elapsed = static_cast<float>(platform.now() - start);
    if (elapsed >= seconds) return;
    // Short slices keep the wait accurate without keeping a core busy.
    platform.sleep(std::min(0.01, static_cast<double>(seconds - elapsed)));
  }
}

void BeepIfSound(Platform& platform, const Settings& settings) {
  if (settings.Sound) platform.beep();
}

MsgAnswer MsgBox(Platform& platform, const QString& text, MsgButtons buttons, MsgIcon icon,
                 const QString& title, MsgAnswer defaultButton) {
  return platform.messageBox({text, title, buttons, icon, defaultButton});
}

}  // namespace ovx
