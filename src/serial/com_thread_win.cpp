// The event thread on Windows: it sleeps on what the port's transport
// signals (serial/win/WinPort signals an event from its WaitCommEvent
// thread) and on a stop event; the hand-over's wake-up is a manual-reset
// event (util/waitable.h). The batches, the hand-over and the end of a session are as on
// POSIX.
#include <windows.h>

#include "serial/com_error.h"
#include "serial/com_thread.h"

namespace velimo::serial {

TComThread::TComThread(Waitable fd, TComEvents events, uint64_t session, HandOver& handOver,
                       std::function<bool()> hungUp)
    : fd_(fd),
      events_(events),
      session_(session),
      hand_over_(handOver),
      hung_up_(std::move(hungUp)) {
  stop_fd_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stop_fd_) throw EComPort(CError_WaitFailed, static_cast<int>(GetLastError()));
}

TComThread::~TComThread() {
  if (thread_.joinable()) {
    Stop();
    thread_.join();
  }
  CloseHandle(stop_fd_);
}

void TComThread::Execute() {
  HANDLE waits[2] = {stop_fd_, fd_};
  for (;;) {
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    // The stop event comes first, so a stop wins over arrivals.
    if (woken != WAIT_OBJECT_0 + 1) break;
    const bool hangUp = hung_up_ && hung_up_();
    TComEvents batch;
    if (!hangUp) {
      if (events_.Contains(evRxChar)) batch.Include(evRxChar);
      if (events_.Contains(evError)) batch.Include(evError);
    }
    if (batch.Empty() && !hangUp) continue;
    std::exception_ptr error;
    const HandOver::Outcome outcome = hand_over_.Deliver(batch, session_, &error, hangUp);
    if (hangUp) break;
    if (outcome == HandOver::Outcome::Failed) {
      // As on POSIX: the port stays open but delivers nothing more; a
      // device that went away meanwhile is still told.
      if (hung_up_ && hung_up_()) {
        std::exception_ptr ignored;
        hand_over_.Deliver(TComEvents(), session_, &ignored, true);
      }
      break;
    }
    if (outcome == HandOver::Outcome::Abandoned) break;
  }
  active_.store(false, std::memory_order_release);
  hand_over_.MarkFinished(session_);
}

}  // namespace velimo::serial
