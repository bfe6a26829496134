#include "support/test_platform.h"

#include <algorithm>

namespace velimo::test {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

}  // namespace

class TestPlatform::Timer : public PlatformTimer {
 public:
  Timer(TestPlatform& owner, std::function<void()> onTick)
      : owner_(owner), on_tick_(std::move(onTick)) {
    owner_.timers_.push_back(this);
  }
  ~Timer() override {
    auto& v = owner_.timers_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  void Start(int intervalMs) override {
    interval_ = intervalMs > 0 ? intervalMs : 1;
    due_ = owner_.now_ms_ + interval_;
    active_ = true;
  }
  void Stop() override { active_ = false; }
  bool Active() const override { return active_; }

  TestPlatform& owner_;
  std::function<void()> on_tick_;
  int interval_ = 0;
  int64_t due_ = 0;
  bool active_ = false;
};

TestPlatform::TestPlatform() {
  SetWallClock(LocalDateTime{2024, 1, 31, 10, 0, 0, 0});
}
TestPlatform::~TestPlatform() = default;

void TestPlatform::Modal() {
  ++modal_depth_;
  if (while_modal) {
    auto serve = while_modal;
    serve();
  }
  --modal_depth_;
}

void TestPlatform::ShowMessage(std::string_view text) {
  dialogs.push_back({DialogKind::Message, std::string(text), now_ms_});
  busy_at_dialog.push_back(busy_depth);
  Modal();
}

bool TestPlatform::Confirm(std::string_view text) {
  dialogs.push_back({DialogKind::Confirm, std::string(text), now_ms_});
  busy_at_dialog.push_back(busy_depth);
  Modal();
  return confirm_answer(text);
}

void TestPlatform::ShowError(std::string_view text) {
  dialogs.push_back({DialogKind::Error, std::string(text), now_ms_});
  busy_at_dialog.push_back(busy_depth);
  Modal();
}

void TestPlatform::BeginBusy() {
  if (busy_depth++ == 0) busy_changes.push_back({true, now_ms_});
}

void TestPlatform::EndBusy() {
  if (busy_depth == 0) {
    ++unbalanced_busy_ends;
    return;
  }
  if (--busy_depth == 0) busy_changes.push_back({false, now_ms_});
}

void TestPlatform::Pause(int ms) {
  pauses.push_back({now_ms_, ms});
  if (ms > 0) now_ms_ += ms;
}

void TestPlatform::SetWallClock(const LocalDateTime& at) {
  const int64_t days =
      DaysFromCivil(at.year, static_cast<unsigned>(at.month), static_cast<unsigned>(at.day));
  const int64_t wall_ms =
      ((days * 24 + at.hour) * 60 + at.minute) * 60000 + at.second * 1000 + at.millisecond;
  wall_base_ms_ = wall_ms - now_ms_;
}

LocalDateTime TestPlatform::Now() {
  const int64_t total_ms = wall_base_ms_ + now_ms_;
  if (now_read_step_ms > 0) now_ms_ += now_read_step_ms;
  // Floor division, so times before 1970 come out right as well.
  int64_t days = total_ms / 86400000;
  int64_t rem = total_ms % 86400000;
  if (rem < 0) {
    rem += 86400000;
    --days;
  }
  LocalDateTime t;
  CivilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(rem / 3600000);
  t.minute = static_cast<int>(rem % 3600000 / 60000);
  t.second = static_cast<int>(rem % 60000 / 1000);
  t.millisecond = static_cast<int>(rem % 1000);
  return t;
}

std::unique_ptr<PlatformTimer> TestPlatform::CreateTimer(std::function<void()> onTick) {
  return std::make_unique<Timer>(*this, std::move(onTick));
}

void TestPlatform::RunUntil(int64_t ms) {
  for (;;) {
    Timer* next = nullptr;
    for (Timer* t : timers_) {
      if (t->active_ && t->due_ <= ms && (!next || t->due_ < next->due_)) next = t;
    }
    if (!next) break;
    if (next->due_ > now_ms_) now_ms_ = next->due_;
    next->due_ += next->interval_;
    next->on_tick_();  // may pause, stop or destroy timers
  }
  if (ms > now_ms_) now_ms_ = ms;
}

std::vector<std::string> TestPlatform::Messages(DialogKind kind) const {
  std::vector<std::string> out;
  for (const auto& d : dialogs)
    if (d.kind == kind) out.push_back(d.text);
  return out;
}

void TestPlatform::ClearRecords() {
  dialogs.clear();
  busy_at_dialog.clear();
  busy_changes.clear();
  pauses.clear();
  focus.clear();
}

}  // namespace velimo::test
