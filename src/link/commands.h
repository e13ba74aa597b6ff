// The four exchanges with the controller, and its two blocks as last read.
#pragma once

#include <QByteArray>

#include "link/link.h"
#include "protocol/blocks.h"
#include "protocol/codec.h"

namespace ovx {

class Commands {
 public:
  explicit Commands(Link& link) : link_(link) {}

  // The controller's blocks in memory: the last valid reads, and for the
  // data block any words changed since. A word that came in characters that
  // do not decode holds kNoValue; while it does, every write of the block
  // sends those characters back as they came.
  DataBlockWords DataBlock{};
  ValueBlock Values;

  // Reads the data block. With `retry` false one attempt is made; otherwise
  // it tries until a valid response arrives. Returns the last response.
  QByteArray GetDataBlock(bool retry);
  QByteArray GetValueBlock(bool retry);
  // Reads the value block while the event loop runs on (Link::beginRead), for
  // monitoring between operations: one attempt, without status texts, beep or
  // box; its reading goes to the listeners once the response is in.
  void beginValueBlockRead();
  // How the last attempt of the last read ended.
  Outcome lastOutcome() const { return lastOutcome_; }
  // Writes the whole data block from memory.
  bool SendDataBlock();
  void SendDefaultParameterSet();

 private:
  QByteArray getBlock(bool retry, BlockKind kind);
  // Judges a response to a read of `kind`: an answer goes into memory; the
  // reading goes to the listeners either way. Returns the outcome.
  Outcome take(BlockKind kind, const QByteArray& response);
  Link& link_;
  Outcome lastOutcome_ = Outcome::NoAnswer;
  // What this controller's answers have shown so far; learned afresh in each
  // run of the program.
  AnswerRule rule_;
  RawWords raw_;  // the characters of the data block's words that did not decode
};

}  // namespace ovx
