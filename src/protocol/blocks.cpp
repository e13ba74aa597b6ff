#include "protocol/blocks.h"

#include "protocol/codec.h"
#include "protocol/numtext.h"

namespace ovx {
namespace {

constexpr int kWideWords = 23;  // words 0..22 travel with three characters

const char* const kLabels[kDataBlockWords] = {
    "nr:",   "SP 1:", "SP 2:", "SP L:", "SP H:", "Res.:",     "Res.:", "rn o/L:", "rn H:", "AL L:",
    "AL H:", "Y SE:", "Res.:", "tc:",   "Pb I:", "Pb II/ty:", "ti:",   "td:",     "dbnd:", "Res.:",
    "Res.:", "Res.:", "Res.:", "CHAn:", "PtyP:", "unit:",     "dPnt:", "YtYP:",   "oPt:",  "d SE:",
    "dir:",  "out:",  "AL:",   "Res.:", "dry:",  "Res.:",     "Res.:", "out:",    "oPt:",  "rn:",
    "CJ:",   "Ycon:", "Res.:", "Res.:", "Res.:", "Res.:"};

int wordPosition(int index) {
  return index < kWideWords ? 1 + 3 * index : 70 + (index - kWideWords);
}
int wordWidth(int index) {
  return index < kWideWords ? 3 : 1;
}

}  // namespace

QByteArray DataField(const QByteArray& response) {
  return response.mid(kDataFieldStart - 1, kDataFieldLength);
}

DataBlockWords DecodeDataBlock(const QByteArray& dataField) {
  DataBlockWords words{};
  for (int i = 0; i < kDataBlockWords; ++i) {
    words[i] = i < kWideWords ? DecodeWide(dataField, wordPosition(i)).value_or(kNoValue)
                              : DecodeValue(dataField, wordPosition(i), 1);
  }
  return words;
}

RawWords UndecodableWords(const QByteArray& dataField) {
  RawWords raw;
  for (int i = 0; i < kWideWords; ++i)
    if (!DecodeWide(dataField, wordPosition(i))) raw[i] = dataField.mid(wordPosition(i) - 1, 3);
  return raw;
}

QByteArray EncodeDataBlock(const DataBlockWords& words, const RawWords& raw) {
  QByteArray field;
  for (int i = 0; i < kDataBlockWords; ++i) {
    const bool asReceived = words[i] == kNoValue && raw[i].size() == 3;
    field += asReceived ? raw[i] : EncodeValue(words[i], wordWidth(i));
  }
  return field;
}

ValueBlock DecodeValueBlock(const QByteArray& f) {
  auto wide = [&f](int position) { return DecodeWide(f, position).value_or(kNoValue); };
  ValueBlock v;
  v.ActualTemperature = wide(1);
  v.Value2 = wide(4);
  v.Value3 = wide(7);
  v.Value4 = wide(10);
  v.Text1 = f.mid(12, 12);
  v.Value5 = wide(25);
  v.Value6 = wide(28);
  v.Value7 = wide(31);
  v.Value8 = wide(34);
  v.Text2 = f.mid(36, 24);
  v.OptimizationStatus = DecodeValue(f, 61, 1);
  v.Flag2 = DecodeValue(f, 62, 1);
  v.Flag3 = DecodeValue(f, 63, 1);
  v.Flag4 = DecodeValue(f, 64, 1);
  v.OutputStatus = DecodeValue(f, 65, 1);
  v.Flag6 = DecodeValue(f, 66, 1);
  v.Flag7 = DecodeValue(f, 67, 1);
  v.Flag8 = DecodeValue(f, 68, 1);
  v.Text3 = f.mid(68, 24);
  return v;
}

QByteArray EncodeValueBlock(const ValueBlock& v) {
  auto text = [](const QByteArray& t, int n) { return t.left(n).leftJustified(n, ' '); };
  QByteArray f;
  f += EncodeValue(v.ActualTemperature, 3) + EncodeValue(v.Value2, 3) + EncodeValue(v.Value3, 3) +
       EncodeValue(v.Value4, 3);
  f += text(v.Text1, 12);
  f += EncodeValue(v.Value5, 3) + EncodeValue(v.Value6, 3) + EncodeValue(v.Value7, 3) +
       EncodeValue(v.Value8, 3);
  f += text(v.Text2, 24);
  for (int flag :
       {v.OptimizationStatus, v.Flag2, v.Flag3, v.Flag4, v.OutputStatus, v.Flag6, v.Flag7, v.Flag8})
    f += EncodeValue(flag, 1);
  f += text(v.Text3, 24);
  return f;
}

QString DataBlockLabel(int index) {
  return QString::fromLatin1(kLabels[index]);
}

QString ListDataBlock(const DataBlockWords& words) {
  QString out;
  for (int i = 0; i < kDataBlockWords; ++i)
    out += DataBlockLabel(i) + BlankSignedWord(words[i]) + QStringLiteral("\r\n");
  return out;
}

QString BlankSignedWord(int16_t word) {
  return word == kNoValue ? QStringLiteral(" undecodable") : BlankSigned(word);
}

QString PlainWord(int16_t word) {
  return word == kNoValue ? QString() : Plain(word);
}

DataBlockWords DefaultParameterSet() {
  DataBlockWords w{};
  w[0] = 1;
  w[1] = 32;
  w[2] = 32;
  w[3] = 0;
  w[4] = 1200;
  w[8] = 1000;
  w[9] = 1200;
  w[10] = 1200;
  w[13] = 1;
  w[14] = 10;
  w[15] = 10;
  w[16] = 300;
  w[17] = 60;
  w[41] = 1;
  return w;
}

}  // namespace ovx
