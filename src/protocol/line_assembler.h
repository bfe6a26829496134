// Turns the byte stream from the modem into response lines. A line is the
// bytes up to and including a line feed (a carriage return before it stays
// in the line); bytes arrive in chunks of any size and a line may span
// several of them.
//
// Re-entrancy: the line handler shows modal message boxes, and while one is
// open the next receive event can run and feed more bytes in. Each line is
// therefore taken out of the line buffer before its handler runs, and all
// input waits in one queue in arrival order: a nested Feed first finishes
// the bytes the outer call had not reached yet, then its own. Every line is
// dispatched exactly once and in the order received.
//
// NUL bytes: the line buffer uses zero bytes as filler, so a line ends at
// its first zero byte: it is handed on shortened, possibly empty, when its
// line feed comes. The rule acts on the line, not on the read: the next
// line starts clean, so one stray zero over a network port (whose reads
// can hold many lines) costs one line, not all the lines of its read.
//
// Purges: when the port's receive queue is purged, whatever came before
// the purge and is not yet a whole line belongs to an answer nobody waits
// for any more. EndLine ends the line being assembled there: its fragment
// is put on record and reaches no parser, so the next answer starts a line
// of its own instead of being appended to a stale fragment. Whole lines
// already read but not yet looked at (a purge from within a line's
// handler: the handler sends a command of its own) came in before the
// purge and are parsed in order as any others; only bytes after the last
// of their line feeds are ended with the fragment.
//
// Over-long lines: the line buffer holds 8192 bytes. A stream of more than
// that without a line feed is not a modem answer; its bytes are dropped and
// reception resynchronises at the next line feed (which ends the dropped
// line, so nothing of it is dispatched). A cut fragment could otherwise
// start with a keyword and be taken for a report line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::protocol {

class LineAssembler {
 public:
  static constexpr int kLineBufferSize = 8192;
  static constexpr int kChunkSize = 8192;

  using LineHandler = std::function<void(std::string_view line)>;

  explicit LineAssembler(LineHandler onLine) : on_line_(std::move(onLine)) {}

  // Feeds one chunk as read from the port. Complete lines go to the
  // handler, each before the next byte is looked at; the rest waits for
  // the next chunk. The chunk's bytes must stay valid until Feed returns.
  void Feed(std::string_view chunk);

  // Ends the line being assembled, for a purge of the receive side. The
  // half-built line (up to its first zero byte, as it would have been
  // dispatched) goes to record (when set) as one piece and to no handler;
  // where the chunks fed but not yet looked at hold a line feed, the lines
  // up to the last one stay to be dispatched and only the bytes after it
  // are ended. An over-long line being dropped ends too. Safe to call from
  // within the line handler.
  void EndLine(const LineHandler& record);

  // Bytes of the partial line held so far.
  int Length() const { return length_; }
  // The partial line (zeros included).
  std::string_view Pending() const { return {line_, static_cast<size_t>(length_)}; }
  // True while dropping an over-long line up to its line feed.
  bool Resynchronising() const { return dropping_; }
  // Over-long lines dropped so far.
  int64_t DroppedLines() const { return dropped_lines_; }
  // Bytes taken into lines so far, over-long ones included; those a purge
  // ended unread are not. Tells where in the byte stream each purge found
  // the assembly.
  int64_t BytesLookedAt() const { return looked_at_; }

 private:
  struct Chunk {
    std::string_view bytes;
    size_t pos;
  };
  void Dispatch();
  void Store(const char* bytes, size_t n);

  LineHandler on_line_;
  char line_[kLineBufferSize];
  int length_ = 0;
  int first_nul_ = -1;  // position of the first zero byte of the line, -1 none
  bool dropping_ = false;
  int64_t dropped_lines_ = 0;
  int64_t looked_at_ = 0;
  std::vector<Chunk> queue_;  // chunks of the outermost Feed and nested ones
  size_t head_ = 0;
  int depth_ = 0;
  // The lines handed out, one per nesting level of the handler; kept so
  // that their storage is reused from line to line.
  std::vector<std::unique_ptr<std::string>> taken_;
  size_t dispatching_ = 0;
};

}  // namespace velimo::protocol
