// What the link tells its listeners: every frame, every block read and its
// outcome. The main window, the trend and the run log listen; the link knows
// none of them.
#pragma once

#include <QByteArray>
#include <QString>

#include "protocol/blocks.h"
#include "protocol/codec.h"

namespace ovx {

// One attempt to read a block, at a time on the program's clock. The values
// are those of the block read when the outcome is Answered.
struct Reading {
  double time = 0;
  BlockKind block = BlockKind::Data;
  Outcome outcome = Outcome::NoAnswer;
  DataBlockWords words{};  // data block
  ValueBlock values;       // value block
};

class LinkListener {
 public:
  virtual ~LinkListener() = default;

  // A block read begins, before its first attempt, and ends after its last.
  virtual void exchangeStarted(BlockKind) {}
  virtual void exchangeEnded(BlockKind) {}
  // Bytes that waited in the receive buffer were thrown away before a request
  // (`label` names the caller).
  virtual void leftoversDiscarded(const QString& /*label*/, const QByteArray& /*bytes*/) {}
  // A frame went out (without CR LF), after the send delay; the request of a
  // monitoring read (Link::beginRead) at once.
  virtual void frameSent(const QByteArray& /*frame*/) {}
  // What came back after the receive delay (possibly nothing).
  virtual void responseReceived(const QByteArray& /*response*/) {}
  // The result of one read attempt. Words and fields that did not decode
  // hold kNoValue.
  virtual void readingTaken(const Reading&) {}
  // An answer showed for the first time that this controller's answers of
  // that block carry the checksum in their trailer, or name their block in
  // their header: from now on they are judged by it.
  virtual void answerRuleLearned(BlockKind, const AnswerRule::Learned& /*news*/) {}
  // After a failed attempt: the pause before the next one begins, and ends.
  virtual void retryPauseStarted() {}
  virtual void retryPauseEnded() {}
  // A whole data block was written: the one in memory (`fromMemory`), or the
  // default parameter set.
  virtual void dataBlockSent(const DataBlockWords& /*words*/, bool /*fromMemory*/) {}
};

}  // namespace ovx
