// Frames, checksum and the one- and three-character value encodings of the
// controller's line protocol.
#pragma once

#include <QByteArray>
#include <array>
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
  NotABlock,    // 116 characters that cannot be that block: NULs in its data field, or a
                // header naming the other block where this controller's headers name theirs
  Corrupted,    // 116 characters whose trailer is not the data field's checksum, from a
                // controller whose trailers carry it
};

// What one controller has shown of its answers in this run of the program,
// for each block kind. Its answers are judged by their trailer and header
// only once it has shown that it fills them that way; until then they are
// not examined.
class AnswerRule {
 public:
  struct Learned {
    bool trailer = false;  // trailers carry the data field's checksum ("0C32Q")
    bool header = false;   // headers name their block: "NT" without "NF", or the reverse
  };
  Learned learned(BlockKind kind) const { return learned_[kind == BlockKind::Data ? 0 : 1]; }
  // Learns from an answer that CheckResponse accepted; returns what it shows
  // for the first time.
  Learned learn(const QByteArray& response, BlockKind kind);

 private:
  std::array<Learned, 2> learned_{};
};

// Judges a response to a read request for the given block:
// - its length must be 116 (nothing, NULs only or 9 characters: NoAnswer);
// - its data field must hold no NUL character (a dropped line gives them);
// - once the rule has learned it, the trailer must be the data field's
//   checksum and "Q", and the header must not name the other block.
// A three-character field that does not decode does not make it invalid.
Outcome CheckResponse(const QByteArray& response, BlockKind expected, const AnswerRule& rule);

// The loop number with at least three digits ("001").
QByteArray LoopText(int loop);
// "R001NT?" (data block) or "R001NF?" (value block), without CR LF.
QByteArray DataBlockRequest(int loop);
QByteArray ValueBlockRequest(int loop);
// "S001  T " + data field + checksum + "Q"; words holding kNoValue go as
// their characters in `raw` (EncodeDataBlock).
QByteArray WriteFrame(int loop, const DataBlockWords& words, const RawWords& raw = {});

}  // namespace ovx
