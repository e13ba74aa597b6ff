// The controller's parameter data block and value block.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace ovx {

enum class BlockKind { Data, Value };

constexpr int kDataBlockWords = 46;
using DataBlockWords = std::array<int16_t, kDataBlockWords>;

// What a three-character word or field holds in memory when its characters
// do not decode (they form no 16-bit value): no value. No block can carry
// it, since its first character would be NUL.
constexpr int16_t kNoValue = INT16_MIN;
// The three characters of each word of a data field that did not decode, as
// received; empty for every other word.
using RawWords = std::array<QByteArray, kDataBlockWords>;

// Word indices the program uses.
enum DataWord : int {
  kSetpoint = 1,       // SP 1, setpoint W
  kSetpointLow = 3,    // SP L
  kSetpointHigh = 4,   // SP H
  kPTerm = 14,         // Pb I
  kITerm = 16,         // ti
  kDTerm = 17,         // td
  kChannel = 23,       // CHAn
  kOptimize1 = 28,     // oPt
  kDry = 34,           // dry
  kHeaterOutput = 37,  // out: 0 off, 1 on
  kOptimize2 = 38,     // oPt
};

// Its three-character fields hold kNoValue where they did not decode.
struct ValueBlock {
  int16_t ActualTemperature = 0;
  int16_t Value2 = 0, Value3 = 0, Value4 = 0;
  QByteArray Text1;  // 12 characters as received
  int16_t Value5 = 0, Value6 = 0, Value7 = 0, Value8 = 0;
  QByteArray Text2;  // 24 characters
  int16_t OptimizationStatus = 0;
  int16_t Flag2 = 0, Flag3 = 0, Flag4 = 0;
  int16_t OutputStatus = 0;
  int16_t Flag6 = 0, Flag7 = 0, Flag8 = 0;
  QByteArray Text3;  // 24 characters
};

// Length of a block response and of its data field.
constexpr int kResponseLength = 116;
constexpr int kDataFieldLength = 92;
constexpr int kDataFieldStart = 18;  // counted from 1

// The 92-character data field cut out of a 116-character response.
QByteArray DataField(const QByteArray& response);
// The 46 words; kNoValue for each that does not decode.
DataBlockWords DecodeDataBlock(const QByteArray& dataField);
RawWords UndecodableWords(const QByteArray& dataField);
// The 92 characters of the words; a word holding kNoValue goes as its three
// characters in `raw` when it has them there: what did not decode goes back
// to the controller as it came.
QByteArray EncodeDataBlock(const DataBlockWords& words, const RawWords& raw = {});
ValueBlock DecodeValueBlock(const QByteArray& dataField);
// Inverse of DecodeValueBlock, for the controller model.
QByteArray EncodeValueBlock(const ValueBlock& block);

// The listing label of word i ("nr:", "SP 1:", ...).
QString DataBlockLabel(int index);
// 46 lines "label" + BlankSignedWord, each ended by CR LF.
QString ListDataBlock(const DataBlockWords& words);
// A word as the operator sees it: blank-signed, " undecodable" for kNoValue.
QString BlankSignedWord(int16_t word);
// The same without the leading blank; empty for kNoValue (a field that
// shows the word).
QString PlainWord(int16_t word);

// The fixed default parameter set.
DataBlockWords DefaultParameterSet();

}  // namespace ovx
