// The blocking pause behind the platform's Pause: the 5 ms after each byte
// written to the modem and the 100 to 500 ms between the commands of a
// save-all. Those are the pacing the modems' command parsers rely on, so the
// pause must never be shorter than asked and should overrun as little as
// the scheduler allows.
#pragma once

namespace velimo {

// Blocks the calling thread until ms milliseconds of the monotonic clock
// have passed since the call; returns at once for ms <= 0. Signals do not
// cut it short. While it waits, the thread's timer slack is lowered so the
// kernel does not defer the wake-up to batch it with others (the default
// slack of 50 us is 1 % of a byte pause); the thread's own slack is
// restored before it returns.
void PrecisePause(int ms);

}  // namespace velimo
