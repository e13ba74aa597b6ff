// Frames, checksum and the one- and three-character value encodings of the
// controller's line protocol.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "link/blocks.h"

namespace ovx {

// Sum of the character codes as four upper-case hex digits ("0C32").
QByteArray Checksum(const QByteArray& text);
// The value whose encoding starts at `position` (from 1); width 1 reads one
// character, any other width three. -1 when the text is too short or the
// characters do not form a 16-bit value.
int16_t DecodeValue(const QByteArray& text, int position, int width);
// One character for width 1 (value + 32), three for any other width.
QByteArray EncodeValue(int value, int width);

// A block response to accept: 116 characters, and unless its trailer holds
// something other than a checksum (four hex digits and "Q" after the data
// field), that checksum agrees with the data field. A character changed on
// the line keeps the length; only the checksum tells.
bool ValidResponse(const QByteArray& response);

// The loop number with at least three digits ("001").
QByteArray LoopText(int loop);
// "R001NT?" (data block) or "R001NF?" (value block), without CR LF.
QByteArray DataBlockRequest(int loop);
QByteArray ValueBlockRequest(int loop);
// "S001  T " + data field + checksum + "Q".
QByteArray WriteFrame(int loop, const DataBlockWords& words);

}  // namespace ovx
