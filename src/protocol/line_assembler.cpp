#include "protocol/line_assembler.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace velimo::protocol {

void LineAssembler::Store(const char* bytes, size_t n) {
  if (dropping_) return;
  if (n > static_cast<size_t>(kLineBufferSize - length_)) {
    // Over-long: forget the line and wait for its line feed.
    dropping_ = true;
    ++dropped_lines_;
    length_ = 0;
    first_nul_ = -1;
    return;
  }
  // A line ends at its first zero byte: from there on it is stored as
  // zeros, whatever read its bytes came in. The next line starts clean.
  size_t text = n;
  if (first_nul_ >= 0) {
    text = 0;
  } else if (const void* nul = std::memchr(bytes, '\0', n)) {
    text = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
    first_nul_ = length_ + static_cast<int>(text);
  }
  std::memcpy(line_ + length_, bytes, text);
  std::memset(line_ + length_ + text, 0, n - text);
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
  // Where the bytes already read but not yet looked at hold a line feed,
  // everything up to the last one is complete lines that came before the
  // purge: they stay to be parsed in order (the partial line, when there is
  // one, is the start of the first of them). Only what follows that line
  // feed, or the partial line with everything after it when there is none,
  // is the half-built line the purge ends.
  size_t cut_chunk = queue_.size();
  size_t cut_at = 0;
  for (size_t i = queue_.size(); i-- > head_;) {
    const Chunk& c = queue_[i];
    if (c.pos >= c.bytes.size()) continue;
    const size_t lf = c.bytes.rfind('\n');
    if (lf != std::string_view::npos && lf >= c.pos) {
      cut_chunk = i;
      cut_at = lf + 1;
      break;
    }
  }
  std::string ended;
  if (cut_chunk == queue_.size()) {
    // No complete line waits: the partial line (up to its first zero byte,
    // as it would have been dispatched) ends here. An over-long line being
    // dropped ends too, unseen.
    const int end = first_nul_ >= 0 ? first_nul_ : length_;
    if (!dropping_) ended.assign(line_, static_cast<size_t>(end));
    length_ = 0;
    first_nul_ = -1;
    dropping_ = false;
    cut_chunk = head_;
    cut_at = head_ < queue_.size() ? queue_[head_].pos : 0;
  }
  // The bytes after the cut are one stream: a line that two reads cut goes
  // on record whole, and none of it is looked at any more.
  for (size_t i = cut_chunk; i < queue_.size(); ++i) {
    Chunk& c = queue_[i];
    const size_t from = i == cut_chunk ? std::max(cut_at, c.pos) : c.pos;
    if (from < c.bytes.size()) ended.append(c.bytes.substr(from));
    c.bytes = c.bytes.substr(0, std::max(from, c.pos));
  }
  if (record && !ended.empty()) record(ended);
}

void LineAssembler::Feed(std::string_view chunk) {
  queue_.push_back({chunk, 0});
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
      Store(begin, seg);
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
