// Splits the bytes of a serial line into lines. A line ends with LF; one CR
// before the LF is dropped. The unfinished line is bounded: when garbage
// without a line end piles up, only its last characters are kept, which is
// all that a frame at the end of the line needs.
#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace ovx::sim {

class LineBuffer {
 public:
  static constexpr int kMaxLine = 512;

  // Appends `bytes` and returns the lines they complete, without their line
  // ends. Empty lines are left out.
  QByteArrayList add(const QByteArray& bytes);
  // The characters of the unfinished line.
  const QByteArray& pending() const { return pending_; }

 private:
  QByteArray pending_;
};

}  // namespace ovx::sim
