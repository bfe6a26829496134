// The one owner of writing to the modem. Every line goes out whole and one
// at a time, whoever asks for it: a Save, a save-all, a parser row's own
// query, a timer, or an operation that drives the modem through the
// session (a profile apply, a read). A line asked for while another is
// being written (a message box of the first one's trace or failure lets
// events in), or while an operation holds the wire between its lines,
// waits its turn and is written after it, whole.
//
// The wire belongs to the thread that holds the port (the window's): an
// operation on a thread of its own hands its lines to that thread, which
// writes them; nothing else writes to the port.
#pragma once

#include <deque>
#include <functional>

namespace velimo::protocol {

class Wire {
 public:
  Wire() = default;
  Wire(const Wire&) = delete;
  Wire& operator=(const Wire&) = delete;

  // An operation holds the wire from its first line to its last: lines of
  // others wait meanwhile. Holds nest; the last Release writes the lines
  // that waited, in the order they were asked for.
  void Hold() { ++held_; }
  void Release();
  bool Held() const { return held_ > 0; }
  // A line is being written now.
  bool Writing() const { return writing_; }
  // Lines waiting for their turn.
  int Waiting() const { return static_cast<int>(waiting_.size()); }

  // Whether a line may be written now: no other line is being written,
  // and the wire is free or held by the operation the line belongs to.
  bool MayWrite(bool holdersLine) const { return !writing_ && (held_ == 0 || holdersLine); }
  // Queues a line that may not be written now; it is written (by calling
  // write) as soon as it may.
  void Queue(bool holdersLine, std::function<void()> write);

  // One line's turn on the wire, from its purge to its follow-up; the
  // lines that waited for it go out when it ends.
  class Turn {
   public:
    explicit Turn(Wire* wire);
    ~Turn();
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

   private:
    Wire* wire_;
  };

 private:
  struct Line {
    bool holders;
    std::function<void()> write;
  };
  void WriteWaiting();

  int held_ = 0;
  bool writing_ = false;
  bool draining_ = false;
  std::deque<Line> waiting_;
};

}  // namespace velimo::protocol
