#include "protocol/wire.h"

#include <utility>

namespace velimo::protocol {

void Wire::Release() {
  if (held_ > 0) --held_;
  WriteWaiting();
}

void Wire::Queue(bool holdersLine, std::function<void()> write) {
  waiting_.push_back({holdersLine, std::move(write)});
}

void Wire::WriteWaiting() {
  // One loop writes them all: a waiting line's own writing ends by coming
  // back here, and must not start the next one from inside it.
  if (draining_) return;
  draining_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{draining_};
  while (!writing_) {
    auto next = waiting_.begin();
    while (next != waiting_.end() && !MayWrite(next->holders)) ++next;
    if (next == waiting_.end()) return;
    std::function<void()> write = std::move(next->write);
    waiting_.erase(next);
    write();
  }
}

Wire::Turn::Turn(Wire* wire) : wire_(wire) {
  if (wire_) wire_->writing_ = true;
}

Wire::Turn::~Turn() {
  if (!wire_) return;
  wire_->writing_ = false;
  try {
    wire_->WriteWaiting();
  } catch (...) {
    // A waiting line's failure has been told to the operator by its own
    // send; the line just written is not undone by it.
  }
}

}  // namespace velimo::protocol
