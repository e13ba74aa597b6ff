#include "protocol/codec.h"

namespace ovx {

QByteArray Checksum(const QByteArray& text) {
  unsigned sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  // A data field sums to far less than 7FFF; keep four digits regardless.
  return QByteArray::number(sum & 0xFFFF, 16).toUpper().rightJustified(4, '0');
}

namespace {

constexpr int kHeaderLength = kDataFieldStart - 1;  // 17
constexpr int kRequestOnLine = 9;                   // "R001NT?" and CR LF

bool onlyNul(const QByteArray& response) {
  for (char c : response)
    if (c != '\0') return false;
  return true;
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The trailer holds a checksum (four hex digits and "Q") that disagrees.
bool checksumDisagrees(const QByteArray& response) {
  const QByteArray trailer = response.mid(kDataFieldStart - 1 + kDataFieldLength, 5);
  for (char c : trailer.left(4))
    if (!isHexDigit(c)) return false;
  return trailer[4] == 'Q' && trailer.left(4) != Checksum(DataField(response));
}

// The header names the block it carries, and it is the other one.
bool headerNamesOther(const QByteArray& response, BlockKind expected) {
  const QByteArray header = response.left(kHeaderLength);
  const bool data = header.contains("NT"), value = header.contains("NF");
  return expected == BlockKind::Data ? value && !data : data && !value;
}

}  // namespace

Outcome CheckResponse(const QByteArray& response, BlockKind expected) {
  if (onlyNul(response) || response.size() == kRequestOnLine) return Outcome::NoAnswer;
  if (response.size() != kResponseLength) return Outcome::WrongLength;
  if (checksumDisagrees(response)) return Outcome::Corrupted;
  if (headerNamesOther(response, expected)) return Outcome::NotABlock;
  const QByteArray field = DataField(response);
  for (int position : WideFieldPositions(expected))
    if (!DecodeWide(field, position)) return Outcome::NotABlock;
  return Outcome::Answered;
}

std::optional<int16_t> DecodeWide(const QByteArray& text, int position) {
  auto code = [&](int pos) { return static_cast<unsigned char>(text[pos - 1]) - 32; };
  if (position < 1 || static_cast<qsizetype>(position) + 2 > text.size()) return std::nullopt;
  // Every product and partial sum must fit 16 bits.
  auto fits = [](int v) { return v >= -32768 && v <= 32767; };
  const int high = code(position) * 1024;
  if (!fits(high)) return std::nullopt;
  const int partial = high + code(position + 1) * 16;
  if (!fits(partial)) return std::nullopt;
  const int value = partial + code(position + 2);
  if (!fits(value)) return std::nullopt;
  return static_cast<int16_t>(value);
}

int16_t DecodeValue(const QByteArray& text, int position, int width) {
  if (width != 1) return DecodeWide(text, position).value_or(-1);
  if (position < 1 || position > text.size()) return -1;
  return static_cast<int16_t>(static_cast<unsigned char>(text[position - 1]) - 32);
}

QByteArray EncodeValue(int value, int width) {
  if (width == 1) return QByteArray(1, static_cast<char>((value + 32) & 0xFF));
  auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  const int high = floorDiv(value, 1024);
  const int r = value - 1024 * high;
  QByteArray out(3, ' ');
  out[0] = static_cast<char>((32 + high) & 0xFF);
  out[1] = static_cast<char>(32 + r / 16);
  out[2] = static_cast<char>(32 + r % 16);
  return out;
}

QByteArray LoopText(int loop) {
  return QByteArray::number(loop).rightJustified(3, '0');
}

QByteArray DataBlockRequest(int loop) {
  return "R" + LoopText(loop) + "NT?";
}

QByteArray ValueBlockRequest(int loop) {
  return "R" + LoopText(loop) + "NF?";
}

QByteArray WriteFrame(int loop, const DataBlockWords& words) {
  const QByteArray data = EncodeDataBlock(words);
  return "S" + LoopText(loop) + "  T " + data + Checksum(data) + "Q";
}

}  // namespace ovx
