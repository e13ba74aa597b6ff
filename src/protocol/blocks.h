// The controller's parameter data block and value block.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace ovx {

enum class BlockKind { Data, Value };

constexpr int kDataBlockWords = 46;
using DataBlockWords = std::array<int16_t, kDataBlockWords>;

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

// Data-field positions (from 1) of the three-character fields of a block.
std::vector<int> WideFieldPositions(BlockKind kind);

// The 92-character data field cut out of a 116-character response.
QByteArray DataField(const QByteArray& response);
DataBlockWords DecodeDataBlock(const QByteArray& dataField);
QByteArray EncodeDataBlock(const DataBlockWords& words);
ValueBlock DecodeValueBlock(const QByteArray& dataField);
// Inverse of DecodeValueBlock, for the controller model.
QByteArray EncodeValueBlock(const ValueBlock& block);

// The listing label of word i ("nr:", "SP 1:", ...).
QString DataBlockLabel(int index);
// 46 lines "label" + blank-signed value, each ended by CR LF.
QString ListDataBlock(const DataBlockWords& words);

// The fixed default parameter set.
DataBlockWords DefaultParameterSet();

}  // namespace ovx
