#include "protocol/line_assembler.h"

#include <cstring>
#include <string>

namespace velimo::protocol {

void LineAssembler::Store(const char* bytes, size_t n, bool zeros) {
  if (dropping_) return;
  if (n > static_cast<size_t>(kLineBufferSize - length_)) {
    // Over-long: forget the line and wait for its line feed.
    dropping_ = true;
    ++dropped_lines_;
    length_ = 0;
    first_nul_ = -1;
    return;
  }
  if (zeros) {
    if (first_nul_ < 0) first_nul_ = length_;
    std::memset(line_ + length_, 0, n);
  } else {
    std::memcpy(line_ + length_, bytes, n);
  }
  length_ += static_cast<int>(n);
}

void LineAssembler::Dispatch() {
  if (dropping_) {
    // The line feed of the dropped line: reception is in step again.
    dropping_ = false;
    return;
  }
  const int end = first_nul_ >= 0 ? first_nul_ : length_;
  // Taken out before the handler runs, so a nested Feed starts a new line.
  if (taken_.size() <= dispatching_) taken_.push_back(std::make_unique<std::string>());
  std::string& line = *taken_[dispatching_];
  line.assign(line_, static_cast<size_t>(end));
  length_ = 0;
  first_nul_ = -1;
  if (!on_line_) return;
  struct Level {
    size_t& n;
    explicit Level(size_t& d) : n(d) { ++n; }
    ~Level() { --n; }
  } level(dispatching_);
  on_line_(line);
}

void LineAssembler::EndLine(const LineHandler& record) {
  const int end = first_nul_ >= 0 ? first_nul_ : length_;
  // Copied out before record runs: it may feed or end lines itself.
  const std::string fragment(line_, static_cast<size_t>(dropping_ ? 0 : end));
  length_ = 0;
  first_nul_ = -1;
  dropping_ = false;
  // The chunks not yet looked at are one stream: a line that two reads
  // cut goes on record whole.
  std::string unread;
  for (size_t i = head_; i < queue_.size(); ++i) {
    Chunk& c = queue_[i];
    unread.append(c.bytes.substr(c.pos));
    c.pos = c.bytes.size();
  }
  if (!record) return;
  if (!fragment.empty()) record(fragment);
  for (size_t pos = 0; pos < unread.size();) {
    const size_t lf = unread.find('\n', pos);
    const size_t stop = lf == std::string::npos ? unread.size() : lf + 1;
    record(std::string_view(unread).substr(pos, stop - pos));
    pos = stop;
  }
}

void LineAssembler::Feed(std::string_view chunk) {
  queue_.push_back({chunk, 0, false});
  ++depth_;
  try {
    while (head_ < queue_.size()) {
      // Index, never a reference: a nested Feed may grow the queue.
      const std::string_view bytes = queue_[head_].bytes;
      const size_t pos = queue_[head_].pos;
      if (pos >= bytes.size()) {
        ++head_;
        continue;
      }
      const char* begin = bytes.data() + pos;
      const size_t left = bytes.size() - pos;
      const void* lf = std::memchr(begin, '\n', left);
      const size_t seg = lf ? static_cast<size_t>(static_cast<const char*>(lf) - begin) + 1 : left;
      queue_[head_].pos += seg;
      looked_at_ += static_cast<int64_t>(seg);
      if (queue_[head_].zeroing) {
        Store(begin, seg, true);
      } else if (const void* nul = std::memchr(begin, '\0', seg)) {
        const size_t before = static_cast<size_t>(static_cast<const char*>(nul) - begin);
        queue_[head_].zeroing = true;
        Store(begin, before, false);
        Store(begin + before, seg - before, true);
      } else {
        Store(begin, seg, false);
      }
      if (lf) Dispatch();
    }
  } catch (...) {
    if (--depth_ == 0) {
      queue_.clear();
      head_ = 0;
    }
    throw;
  }
  if (--depth_ == 0) {
    queue_.clear();
    head_ = 0;
  }
}

}  // namespace velimo::protocol
