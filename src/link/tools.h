// Waits and beeps that every layer above the link shares.
#pragma once

#include "platform/platform.h"
#include "protocol/settings.h"

namespace ovx {

// Waits the given seconds on the platform's clock without handling events,
// sleeping in short slices instead of spinning.
void Delay(Platform& platform, float seconds);
// The platform's beep, unless the Sound setting is off.
void BeepIfSound(Platform& platform, const Settings& settings);
// A modal message box; an empty title shows the application title.
MsgAnswer MsgBox(Platform& platform, const QString& text, MsgButtons buttons = MsgButtons::Ok,
                 MsgIcon icon = MsgIcon::None, const QString& title = QString(),
                 MsgAnswer defaultButton = MsgAnswer::Ok);

}  // namespace ovx
