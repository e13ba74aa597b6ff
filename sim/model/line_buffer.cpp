#include "model/line_buffer.h"

namespace ovx::sim {

QByteArrayList LineBuffer::add(const QByteArray& bytes) {
  QByteArrayList lines;
  for (char c : bytes) {
    if (c == '\n') {
      if (pending_.endsWith('\r')) pending_.chop(1);
      if (pending_.size() > kMaxLine) pending_ = pending_.right(kMaxLine);
      if (!pending_.isEmpty()) lines.append(pending_);
      pending_.clear();
      continue;
    }
    pending_.append(c);
    // Keep the tail only; halving keeps the cost of the trim small.
    if (pending_.size() > 2 * kMaxLine) pending_ = pending_.right(kMaxLine);
  }
  if (pending_.size() > kMaxLine) pending_ = pending_.right(kMaxLine);
  return lines;
}

}  // namespace ovx::sim
