// A byte channel for unit tests: records every write with the virtual time
// it happened at, serves queued input to reads, and fails on request.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/byte_channel.h"
#include "support/test_platform.h"

namespace velimo::test {

class FakeChannel : public serial::ByteChannel {
 public:
  struct Write {
    std::string bytes;
    int64_t at_ms;
  };

  explicit FakeChannel(TestPlatform* clock = nullptr) : clock_(clock) {}

  bool Connected() const override { return connected; }
  void PurgeQueues(bool rx, bool tx) override;
  int WriteBytes(const void* data, int count) override;
  int ReadBytes(void* data, int count) override;
  int QueuedInputCount() override { return static_cast<int>(input.size()); }
  // Disconnecting: the channel reads as closed from then on.
  void ClosePort() override { connected = false; }

  // Everything written so far, as one byte string.
  std::string Written() const;
  // Bytes the far side sends; the next ReadBytes calls return them.
  void Queue(std::string_view bytes) { input += bytes; }

  bool connected = true;
  std::vector<Write> writes;
  std::string input;
  int purges = 0;
  // When set, the write with this 1-based number (counted over the whole
  // life of the channel) raises the error made by make_error, and every
  // later one too while fail_forever is set.
  int fail_on_write = 0;
  bool fail_forever = false;
  bool fail_on_purge = false;
  // When set, every read raises the error made by make_error.
  bool fail_on_read = false;
  std::function<void()> make_error;  // must throw
  int write_calls = 0;
  // The far side answering at once: called with each line written, at its
  // carriage return, before the write returns; it may Queue an answer.
  std::function<void(const std::string& line)> answer;

 private:
  std::string line_;  // written since the last carriage return
  void Fail();
  TestPlatform* clock_;
};

}  // namespace velimo::test
