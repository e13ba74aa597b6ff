// Frames, checksum and the one- and three-character value encodings of the
// controller's line protocol.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

#include "protocol/blocks.h"

namespace ovx {

// Sum of the character codes as four upper-case hex digits ("0C32").
QByteArray Checksum(const QByteArray& text);
// The value whose encoding starts at `position` (from 1); width 1 reads one
// character, any other width three. -1 when the text is too short or the
// characters do not form a 16-bit value.
int16_t DecodeValue(const QByteArray& text, int position, int width);
// The three-character value at `position`; nullopt where DecodeValue gives
// -1 for want of a value.
std::optional<int16_t> DecodeWide(const QByteArray& text, int position);
// One character for width 1 (value + 32), three for any other width.
QByteArray EncodeValue(int value, int width);

// What the answer to a read request turned out to be.
enum class Outcome {
  Answered,     // a block of the kind asked for
  NoAnswer,     // nothing, only NUL characters, or the 9 characters of an echoed request
  WrongLength,  // anything else that is not 116 characters long
  NotABlock,    // 116 characters that the controller cannot have sent as that block
  Corrupted,    // 116 characters whose checksum trailer disagrees with the data field
};

// Judges a response to a read request for the given block:
// - its length must be 116 (nothing, NULs only or 9 characters: NoAnswer);
// - a trailer of four hex digits and "Q" must carry the data field's checksum;
//   any other trailer is not examined;
// - every three-character field of the block must decode to a 16-bit value;
// - the header must not name the other block: a header holding "NF" but not
//   "NT" is a value block, "NT" but not "NF" a data block; one that names
//   neither (or both) is accepted.
Outcome CheckResponse(const QByteArray& response, BlockKind expected);

// The loop number with at least three digits ("001").
QByteArray LoopText(int loop);
// "R001NT?" (data block) or "R001NF?" (value block), without CR LF.
QByteArray DataBlockRequest(int loop);
QByteArray ValueBlockRequest(int loop);
// "S001  T " + data field + checksum + "Q".
QByteArray WriteFrame(int loop, const DataBlockWords& words);

}  // namespace ovx
