#include "support/fake_channel.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace velimo::test {

void FakeChannel::Fail() {
  if (make_error) make_error();
  throw std::runtime_error("fake channel failure");
}

void FakeChannel::PurgeQueues(bool rx, bool /*tx*/) {
  if (fail_on_purge) Fail();
  ++purges;
  if (rx) input.clear();
}

int FakeChannel::WriteBytes(const void* data, int count) {
  ++write_calls;
  if (fail_on_write > 0 &&
      (write_calls == fail_on_write || (fail_forever && write_calls > fail_on_write)))
    Fail();
  const std::string bytes(static_cast<const char*>(data), static_cast<size_t>(count));
  writes.push_back({bytes, clock_ ? clock_->NowMs() : 0});
  for (char c : bytes) {
    line_ += c;
    if (c != '\r') continue;
    if (answer) answer(line_);
    line_.clear();
  }
  return count;
}

int FakeChannel::ReadBytes(void* data, int count) {
  if (fail_on_read) Fail();
  const size_t n = std::min(input.size(), static_cast<size_t>(count < 0 ? 0 : count));
  std::memcpy(data, input.data(), n);
  input.erase(0, n);
  return static_cast<int>(n);
}

std::string FakeChannel::Written() const {
  std::string all;
  for (const auto& w : writes) all += w.bytes;
  return all;
}

}  // namespace velimo::test
