#include "link/codec.h"

namespace ovx {

QByteArray Checksum(const QByteArray& text) {
  unsigned sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  // A data field sums to far less than 7FFF; keep four digits regardless.
  return QByteArray::number(sum & 0xFFFF, 16).toUpper().rightJustified(4, '0');
}

bool ValidResponse(const QByteArray& response) {
  if (response.size() != kResponseLength) return false;
  const QByteArray trailer = response.mid(kDataFieldStart - 1 + kDataFieldLength, 5);
  const QByteArray sum = trailer.left(4);
  for (char c : sum)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return true;
  return trailer[4] != 'Q' || sum == Checksum(DataField(response));
}

int16_t DecodeValue(const QByteArray& text, int position, int width) {
  auto code = [&](int pos) { return static_cast<unsigned char>(text[pos - 1]) - 32; };
  if (position < 1) return -1;
  if (width == 1) {
    if (position > text.size()) return -1;
    return static_cast<int16_t>(code(position));
  }
  if (static_cast<qsizetype>(position) + 2 > text.size()) return -1;  // no int overflow
  auto fits = [](int v) { return v >= -32768 && v <= 32767; };
  const int high = code(position) * 1024;
  if (!fits(high)) return -1;
  const int partial = high + code(position + 1) * 16;
  if (!fits(partial)) return -1;
  const int value = partial + code(position + 2);
  if (!fits(value)) return -1;
  return static_cast<int16_t>(value);
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
