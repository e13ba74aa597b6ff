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

// "0C32Q": the five characters after the data field.
QByteArray trailerOf(const QByteArray& response) {
  return response.mid(kDataFieldStart - 1 + kDataFieldLength, 5);
}

bool trailerIsChecksum(const QByteArray& response) {
  return trailerOf(response) == Checksum(DataField(response)) + "Q";
}

// The header names `kind`, and only that block.
bool headerNames(const QByteArray& response, BlockKind kind) {
  const QByteArray header = response.left(kHeaderLength);
  const bool data = header.contains("NT"), value = header.contains("NF");
  return kind == BlockKind::Data ? data && !value : value && !data;
}

}  // namespace

AnswerRule::Learned AnswerRule::learn(const QByteArray& response, BlockKind kind) {
  Learned& known = learned_[kind == BlockKind::Data ? 0 : 1];
  const Learned news{!known.trailer && trailerIsChecksum(response),
                     !known.header && headerNames(response, kind)};
  known.trailer = known.trailer || news.trailer;
  known.header = known.header || news.header;
  return news;
}

Outcome CheckResponse(const QByteArray& response, BlockKind expected, const AnswerRule& rule) {
  if (onlyNul(response) || response.size() == kRequestOnLine) return Outcome::NoAnswer;
  if (response.size() != kResponseLength) return Outcome::WrongLength;
  const AnswerRule::Learned learned = rule.learned(expected);
  if (learned.trailer && !trailerIsChecksum(response)) return Outcome::Corrupted;
  if (DataField(response).contains('\0')) return Outcome::NotABlock;
  const BlockKind other = expected == BlockKind::Data ? BlockKind::Value : BlockKind::Data;
  if (learned.header && headerNames(response, other)) return Outcome::NotABlock;
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

QByteArray WriteFrame(int loop, const DataBlockWords& words, const RawWords& raw) {
  const QByteArray data = EncodeDataBlock(words, raw);
  return "S" + LoopText(loop) + "  T " + data + Checksum(data) + "Q";
}

}  // namespace ovx
