// Block responses as they arrive on the line: any length, any bytes. Cutting
// out the data field, the validity check, decoding as data block and as value
// block, and re-encoding what was decoded.
#include "check.h"
#include "protocol/blocks.h"
#include "protocol/codec.h"

using namespace ovx;
using namespace ovx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray response = Bytes(data, size);

  const QByteArray field = DataField(response);
  FUZZ_CHECK(field.size() <= kDataFieldLength);
  if (response.size() >= kResponseLength) FUZZ_CHECK(field.size() == kDataFieldLength);

  // Whatever the field decodes to encodes in 92 characters that decode to the
  // same words, those that did not decode carried back as they came: the
  // write frame carries exactly what was read.
  const DataBlockWords words = DecodeDataBlock(field);
  const RawWords raw = UndecodableWords(field);
  const QByteArray encoded = EncodeDataBlock(words, raw);
  FUZZ_CHECK(encoded.size() == kDataFieldLength);
  FUZZ_CHECK(DecodeDataBlock(encoded) == words);
  if (field.size() == kDataFieldLength) FUZZ_CHECK(UndecodableWords(encoded) == raw);
  const QByteArray frame = WriteFrame(1, words, raw);
  FUZZ_CHECK(frame == "S001  T " + encoded + Checksum(encoded) + "Q");
  FUZZ_CHECK(Checksum(response).size() == 4);

  const ValueBlock values = DecodeValueBlock(field);
  const QByteArray encodedValues = EncodeValueBlock(values);
  FUZZ_CHECK(encodedValues.size() == kDataFieldLength);
  // What was decoded encodes back the same (shorter fields give shorter
  // texts, which the encoding pads with blanks).
  if (field.size() == kDataFieldLength)
    FUZZ_CHECK(EncodeValueBlock(DecodeValueBlock(encodedValues)) == encodedValues);

  // A response passes only at full length. Framed with its own checksum it
  // is a block unless its data field holds a NUL, and it shows that trailers
  // carry the checksum; after that, one character of its data field changed
  // on the line makes it corrupted.
  AnswerRule rule;
  if (CheckResponse(response, BlockKind::Data, rule) == Outcome::Answered)
    FUZZ_CHECK(response.size() == kResponseLength);
  if (field.size() == kDataFieldLength) {
    QByteArray framed = response.left(kDataFieldStart - 1) + field + Checksum(field) + "Q\r\n";
    FUZZ_CHECK(framed.size() == kResponseLength);
    FUZZ_CHECK(CheckResponse(framed, BlockKind::Value, rule) ==
               (field.contains('\0') ? Outcome::NotABlock : Outcome::Answered));
    FUZZ_CHECK(rule.learn(framed, BlockKind::Value).trailer);
    const qsizetype at =
        kDataFieldStart - 1 + static_cast<qsizetype>(response[0] & 0x7F) % kDataFieldLength;
    framed[at] = static_cast<char>(framed[at] ^ (1 + (response[1] & 0x7F)));
    FUZZ_CHECK(CheckResponse(framed, BlockKind::Value, rule) == Outcome::Corrupted);
  }

  // A value at any position and width, far outside the text included.
  FuzzedDataProvider in(data, size);
  const int position = in.ConsumeIntegral<int>();
  const int width = in.ConsumeIntegralInRange(0, 3);
  const int16_t value = DecodeValue(response, position, width);
  const long long last = static_cast<long long>(position) + (width == 1 ? 0 : 2);
  if (position < 1 || last > response.size()) FUZZ_CHECK(value == -1);
  return 0;
}
