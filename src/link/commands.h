// The four exchanges with the controller.
#pragma once

#include <QByteArray>

namespace ovx {

class Program;

class Commands {
 public:
  explicit Commands(Program& program) : p_(program) {}

  // Reads the data block. With `retry` false one attempt is made; otherwise
  // it tries until a valid response arrives. Returns the last response.
  QByteArray GetDataBlock(bool retry);
  QByteArray GetValueBlock(bool retry);
  // Writes the whole data block from memory.
  bool SendDataBlock();
  void SendDefaultParameterSet();

 private:
  QByteArray getBlock(bool retry, bool dataBlock);
  Program& p_;
};

}  // namespace ovx
