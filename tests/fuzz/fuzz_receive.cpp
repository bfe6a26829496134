// Fuzz target: the receive path of the main window. Bytes from the modem,
// cut into chunks where the input says, go through ComPortEnvBoardRxChar
// into line assembly and the parser of the selected family, which fill the
// form model, show message boxes (answered at once) and send the status
// and encryption queries to a fake port. Every input runs on a new window,
// test platform and port, so a finding replays alone.
//
// Input: three header bytes, then the bytes the modem sends.
//   byte 0  bits 0-2: family, (value % 5): sTavi, uTavi, rTavi, ioTavi, none
//           bit 3: port connected (queries go out; otherwise they are refused)
//           bit 4: a message box serves the next chunk (nested receive event)
//           bit 5: virtual time moves on between chunks (watchdog, AES timer)
//           bit 6: the operator switches model or section between chunks
//           bit 7: one read of the port fails
//   byte 1  chunking of the bytes after the header: 0 sends them in one
//           event; otherwise the seed of the chunk lengths (bits 5-7 pick
//           the largest length)
//   byte 2  n: n * 40 bytes "A" without a line feed come first, in a
//           receive event of their own (over-long lines; from n = 205 on
//           the padding alone is one). Cutting a run of one letter into
//           single bytes finds nothing the cut header bytes do not, so the
//           inputs stay short (scripts/fuzz: 4 KB) and every one runs fast.
//
// Beyond the sanitizers it checks that the lines echoed into the trace pane
// are exactly the lines of the bytes the port handed over, in order, each
// once: cut at their first NUL, and over-long lines (more than 8192 bytes
// with their line feed) dropped; that every purge of the port (a query
// sent by a parser or the operator) ended only the half-built line: the
// whole lines already read are parsed in order, and what follows the last
// of them (or, without one, the fragment and the bytes read after it) is
// echoed as one piece and is no part of the next line; that the partial
// line left over is the rest; and that the pane stays within its bound.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/form_main.h"
#include "fuzz/reference.h"
#include "fuzz/slow_inputs.h"
#include "support/fake_channel.h"
#include "support/test_platform.h"

namespace {

using std::string;
using std::string_view;
using velimo::test::FakeChannel;
using velimo::test::TestPlatform;

constexpr size_t kLineLimit = 8192;  // bytes of a line, its line feed included
constexpr int kMaxNesting = 16;      // message boxes open at once
constexpr int kMaxOperatorSteps = 16;
constexpr size_t kPadUnit = 40;  // bytes of padding per unit of byte 2

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_receive: %s\n", what);
  std::abort();
}

// The one directory the window may use (settings path, log base). Nothing
// is meant to land in it: the log file stays off and no settings are
// written; the check after each input makes sure. Removed at exit.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    path_ = (std::filesystem::temp_directory_path() / "velimo-fuzz-XXXXXX").string();
    if (!mkdtemp(path_.data())) Fail("cannot create a scratch directory");
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const string& Path() const { return path_; }

 private:
  string path_;
};

const string& ScratchDir() {
  static const ScratchDirectory dir;
  return dir.Path();
}

// The fake port, also keeping every chunk a read handed over: the lines
// the window must have seen follow from these alone. The chunks are kept
// end to end (how the stream was cut into reads makes no difference to the
// lines), so that recording a read of one byte costs no allocation of its
// own.
//
// A send reads what waits before its purge, to put it on record in the
// pane. Here nothing is said to wait (as a driver that has not counted the
// bytes yet says), so the purge drops them unread and every line the pane
// shows comes from the receive path's own reads; the tracing of purged
// bytes is checked by the transmitter's and the save-alls' tests.
//
// Each purge is kept with the bytes read by then and how many of them the
// line assembly had looked at (its own count: which line's handler sent
// the query is not to be seen from the port). A purge from a handler
// comes before the rest of the bytes read with that line; the reference
// takes the place only where a purge can come: after every byte read
// (between receive events) or just after a line feed (from a handler).
struct Purge {
  size_t read;
  int64_t looked_at;
};

class RecordingChannel : public FakeChannel {
 public:
  using FakeChannel::FakeChannel;
  int QueuedInputCount() override { return 0; }
  int ReadBytes(void* data, int count) override {
    const int n = FakeChannel::ReadBytes(data, count);
    if (n > 0) read_bytes.append(static_cast<const char*>(data), static_cast<size_t>(n));
    return n;
  }
  void PurgeQueues(bool rx, bool tx) override {
    if (rx) purges.push_back({read_bytes.size(), lines ? lines->BytesLookedAt() : 0});
    FakeChannel::PurgeQueues(rx, tx);
  }
  const velimo::protocol::LineAssembler* lines = nullptr;
  string read_bytes;
  std::vector<Purge> purges;
};

class Rng {
 public:
  explicit Rng(uint8_t seed) : state_(0x9E3779B9u ^ (static_cast<uint32_t>(seed) * 0x01000193u)) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : Next() % n; }

 private:
  uint32_t state_;
};

// What line assembly must make of the chunks read, in order, with the
// purges in between.
struct Expected {
  std::vector<string> lines;  // echoed: lines, and what each purge ended
  string pending;             // the partial line, zeros included
  bool dropping = false;
};

// Line assembly as the byte stream describes it, one byte at a time. A
// purge ends only the half-built line: the bytes it ends are never looked
// at, and whole lines already read stay to be parsed in order.
class ReferenceAssembly {
 public:
  explicit ReferenceAssembly(const string& bytes) : bytes_(bytes), ended_(bytes.size(), false) {}

  // Looks at the bytes up to stop, those a purge ended left out.
  FUZZ_REFERENCE void LookTo(size_t stop) {
    for (; at_ < stop; ++at_) {
      if (ended_[at_]) continue;
      const char c = bytes_[at_];
      // A line ends at its first zero byte; the next line starts clean.
      if (c == '\0') zeroing_ = true;
      ++total_;
      if (total_ <= kLineLimit) line_ += zeroing_ ? '\0' : c;
      if (c != '\n') continue;
      if (total_ <= kLineLimit) out_.lines.push_back(line_.substr(0, line_.find('\0')));
      line_.clear();
      total_ = 0;
      zeroing_ = false;
    }
  }

  // Where in the byte stream the assembly stands after looking at
  // lookedAt bytes (its own count leaves out the bytes purges ended).
  FUZZ_REFERENCE size_t StreamPlace(int64_t lookedAt) const {
    size_t place = 0;
    for (int64_t seen = 0; place < bytes_.size(); ++place) {
      if (ended_[place]) continue;
      if (seen == lookedAt) break;
      ++seen;
    }
    return place;
  }

  // A purge that found the assembly at stop with the bytes up to read
  // read. Where the bytes not yet looked at hold a line feed, the lines up
  // to the last one stay, and what follows it is ended: echoed as one
  // piece, never looked at. Without one, the half-built line (as far as it
  // would have been handed on, nothing of an over-long one) and all of
  // them are ended as one piece.
  FUZZ_REFERENCE void EndLineAt(size_t stop, size_t read) {
    if (stop < at_ || stop > read || read > bytes_.size())
      Fail("a purge's place is not among the bytes read");
    LookTo(stop);
    std::vector<size_t> unread;
    for (size_t i = stop; i < read; ++i)
      if (!ended_[i]) unread.push_back(i);
    // Purges come between receive events or from the handler of a line.
    if (!unread.empty()) {
      size_t before = stop;
      while (before > 0 && ended_[before - 1]) --before;
      if (before == 0 || bytes_[before - 1] != '\n')
        Fail("a purge found the assembly inside a line");
    }
    size_t last_lf = unread.size();
    for (size_t k = unread.size(); k-- > 0;) {
      if (bytes_[unread[k]] == '\n') {
        last_lf = k;
        break;
      }
    }
    string piece;
    size_t from = 0;
    if (last_lf == unread.size()) {
      if (total_ <= kLineLimit) piece = line_.substr(0, line_.find('\0'));
      line_.clear();
      total_ = 0;
      zeroing_ = false;
    } else {
      from = last_lf + 1;
    }
    for (size_t k = from; k < unread.size(); ++k) {
      piece += bytes_[unread[k]];
      ended_[unread[k]] = true;
    }
    if (!piece.empty()) out_.lines.push_back(piece);
  }

  FUZZ_REFERENCE Expected Finish() {
    LookTo(bytes_.size());
    out_.dropping = total_ > kLineLimit;
    out_.pending = out_.dropping ? string() : line_;
    return std::move(out_);
  }

 private:
  const string& bytes_;
  std::vector<bool> ended_;  // bytes a purge ended: never looked at
  Expected out_;
  string line_;
  size_t total_ = 0;  // bytes of the line so far, also those not kept
  size_t at_ = 0;     // the next byte to look at
  bool zeroing_ = false;
};

FUZZ_REFERENCE Expected Assemble(const string& bytes, const std::vector<Purge>& purges) {
  ReferenceAssembly assembly(bytes);
  for (const Purge& purge : purges)
    assembly.EndLineAt(assembly.StreamPlace(purge.looked_at), purge.read);
  return assembly.Finish();
}

// Trace lines written by LogWriteStr begin with the stamp "[HH:NN:SS]  ";
// received lines have none. A received line that happens to look stamped
// is left out on both sides of the comparison.
FUZZ_REFERENCE bool Stamped(string_view line) {
  if (line.size() < 12 || line[0] != '[' || line[3] != ':' || line[6] != ':' || line[9] != ']' ||
      line[10] != ' ' || line[11] != ' ')
    return false;
  for (int i : {1, 2, 4, 5, 7, 8}) {
    if (line[static_cast<size_t>(i)] < '0' || line[static_cast<size_t>(i)] > '9') return false;
  }
  return true;
}

struct Session {
  TestPlatform platform;
  RecordingChannel channel{&platform};
  std::unique_ptr<velimo::forms::TForm_main> form;
  std::vector<string_view> chunks;  // into the input; still to deliver
  size_t next = 0;
  int nesting = 0;
  bool nested_delivery = false;
  bool pane_trimmed = false;

  // One receive event for the next chunk, as the port raises it: the bytes
  // are waiting in the driver and Count says how many (or, now and then,
  // more than are left, as after a nested event took some).
  void Deliver(int extraCount) {
    const string_view chunk = chunks[next++];
    channel.Queue(chunk);
    form->ComPortEnvBoardRxChar(static_cast<int>(chunk.size()) + extraCount);
  }
};

void SelectFamily(velimo::forms::TForm_main& form, unsigned family) {
  switch (family) {
    case 0:
      form.sTavi1Click();
      break;
    case 1:
      form.uTavi1Click();
      break;
    case 2:
      form.rTavi1Click();
      break;
    case 3:
      form.ioTavi1Click();
      break;
    default:
      break;  // no model checked: lines are only echoed
  }
}

void OperatorStep(velimo::forms::TForm_main& form, Rng& rng) {
  switch (rng.Below(8)) {
    case 0:
    case 1:
    case 2:
    case 3:
      SelectFamily(form, rng.Below(4));
      break;
    case 4:
      form.Btn_Left_InfoClick();
      break;
    case 5:
      form.Btn_Left_LoRaClick();  // on the sTavi LoRa page, arms the AES timer
      break;
    case 6:
      form.Btn_Left_SerialClick();  // ioTavi: the RS-485 query
      break;
    default:
      form.Btn_S_CurrentStatusClick();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  velimo::fuzz::InitSlowInputs(argc, argv);
  return 0;
}

namespace {

int RunOne(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  const unsigned family = (flags & 7u) % 5u;
  const bool connected = flags & 0x08;
  const bool nested = flags & 0x10;
  const bool moveTime = flags & 0x20;
  const bool operatorSteps = flags & 0x40;
  const bool readFails = flags & 0x80;
  const uint8_t chunkSeed = data[1];

  const string padding(static_cast<size_t>(data[2]) * kPadUnit, 'A');
  const string_view body(reinterpret_cast<const char*>(data + 3), size - 3);

  Session s;
  s.channel.connected = false;
  s.form = std::make_unique<velimo::forms::TForm_main>(s.platform);
  velimo::forms::TForm_main& form = *s.form;
  form.SetPort(&s.channel);
  s.channel.lines = &form.RxLines();
  form.SettingsPath = ScratchDir() + "/Velimo.INI";
  form.Trace().SetBaseDir(ScratchDir());
  form.Trace().SetSaveLogFile(false);
  // The pane empties itself above 500 lines when a trace line comes, and
  // drops its oldest lines when received lines alone grow too many.
  form.Trace().Pane().SetObserver([&s] {
    if (!s.form) return;
    const velimo::trace::PaneChanges changes = s.form->Trace().Pane().TakeChanges();
    if (changes.cleared || changes.dropped > 0) s.pane_trimmed = true;
  });
  if (connected) {
    s.channel.connected = true;
    form.ApplyConnectedPresentation();
  }
  SelectFamily(form, family);

  // Cut the bytes into receive events.
  Rng rng(chunkSeed);
  // A pane as narrow as one character wraps every line the most.
  static constexpr size_t kWidths[] = {0, 1, 97};
  form.Trace().Pane().SetWidth(kWidths[rng.Below(3)]);
  if (!padding.empty()) s.chunks.push_back(padding);
  if (body.empty()) {
    // Nothing more arrives.
  } else if (chunkSeed == 0) {
    s.chunks.push_back(body);
  } else {
    static constexpr uint32_t kLargest[] = {1, 2, 3, 8, 32, 200, 4096, 9000};
    const uint32_t largest = kLargest[chunkSeed >> 5];
    for (size_t at = 0; at < body.size();) {
      const size_t n = std::min<size_t>(1 + rng.Below(largest), body.size() - at);
      s.chunks.push_back(body.substr(at, n));
      at += n;
    }
  }
  const size_t failingChunk =
      readFails && !s.chunks.empty() ? rng.Below(s.chunks.size()) : SIZE_MAX;

  // A message box runs a nested event loop: the next chunk's receive event
  // can run inside it. The port component keeps a failing handler's error
  // to itself, so nothing of it leaves the message box.
  s.nested_delivery = nested;
  s.platform.while_modal = [&s] {
    if (!s.nested_delivery || s.nesting >= kMaxNesting || s.next >= s.chunks.size()) return;
    ++s.nesting;
    try {
      s.Deliver(0);
    } catch (const std::runtime_error&) {
    }
    --s.nesting;
  };

  int steps = 0;
  while (s.next < s.chunks.size()) {
    const bool failing = s.next == failingChunk;
    s.channel.fail_on_read = failing;
    try {
      s.Deliver(rng.Below(16) == 0 ? static_cast<int>(rng.Below(10000)) : 0);
      if (failing) Fail("a failing read did not reach the port component");
    } catch (const std::runtime_error& e) {
      // Only the port's own failure may leave the receive event.
      if (!failing || string_view(e.what()) != "fake channel failure") throw;
    }
    s.channel.fail_on_read = false;
    if (moveTime) {
      static constexpr int kSteps[] = {0, 5, 100, 999, 1000, 4999, 5000, 12000};
      s.platform.Advance(kSteps[rng.Below(8)]);
    }
    // An operator clicks now and then, not between every two bytes.
    if (operatorSteps && steps < kMaxOperatorSteps && rng.Below(4) == 0) {
      OperatorStep(form, rng);
      ++steps;
    }
  }
  // Whatever a nested event left queued is read by one more event.
  if (!s.channel.input.empty()) {
    s.nested_delivery = false;
    form.ComPortEnvBoardRxChar(static_cast<int>(s.channel.input.size()));
  }

  // The lines echoed are those of the bytes read, in order, each once.
  const velimo::fuzz::Unmetered checking;
  const Expected expected = Assemble(s.channel.read_bytes, s.channel.purges);
  std::vector<string> want;
  for (const string& line : expected.lines) {
    if (!Stamped(line)) want.push_back(line);
  }
  std::vector<string> got;
  for (const string& line : form.Trace().Pane().Lines()) {
    if (!Stamped(line)) got.push_back(line);
  }
  if (s.pane_trimmed) {
    // What the pane still holds is the tail.
    if (got.size() > want.size() || !std::equal(got.begin(), got.end(), want.end() - got.size()))
      Fail("the trace pane's received lines are not the tail of the lines sent");
  } else if (got != want) {
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
      const size_t g = i < got.size() ? got[i].size() : SIZE_MAX;
      const size_t w = i < want.size() ? want[i].size() : SIZE_MAX;
      if (i >= got.size() || i >= want.size() || got[i] != want[i]) {
        std::fprintf(stderr, "line %zu of %zu/%zu: %zu bytes, expected %zu\n", i, got.size(),
                     want.size(), g, w);
        break;
      }
    }
    Fail("the trace pane's received lines differ from the lines sent");
  }
  // The pane stays bounded however much arrives (one line longer than the
  // bound aside).
  const velimo::trace::TracePane& pane = form.Trace().Pane();
  size_t longest = 0;
  for (const string& line : pane.Lines())
    longest = std::max(longest, velimo::trace::TracePane::DisplayedLines(line, pane.Width()));
  if (pane.DisplayedLineCount() > velimo::trace::TraceLog::kMaxReceivedPaneLines + longest) {
    std::fprintf(stderr, "pane: %zu displayed in %zu lines, longest %zu\n",
                 pane.DisplayedLineCount(), pane.LineCount(), longest);
    Fail("the trace pane grew past its bound");
  }
  if (form.RxLines().Pending() != expected.pending) Fail("the partial line differs");
  if (form.RxLines().Resynchronising() != expected.dropping)
    Fail("the over-long line state differs");
  if (form.ResponseFlag != 0 && form.ResponseFlag != 1) Fail("response flag neither 0 nor 1");

  // Nothing may have been written to disk: no log, no settings file.
  if (form.Trace().SaveLogFile()) Fail("the log file was switched on");
  if (!std::filesystem::is_empty(ScratchDir())) Fail("a file appeared in the scratch directory");
  s.platform.while_modal = nullptr;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velimo::fuzz::TimedRun(data, size, RunOne);
}
