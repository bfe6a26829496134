// The hand-over's wake-up, per system: an eventfd on POSIX, a manual-reset
// event on Windows. Internal to the serial layer.
#pragma once

#include "util/waitable.h"

namespace velimo::serial {

// Raises EComPort code 21 when the system has none left to give.
Waitable CreateWakeEvent();
void DestroyWakeEvent(Waitable event);
// Makes the event readable (signalled) until it is reset.
void SignalWakeEvent(Waitable event);
void ResetWakeEvent(Waitable event);

}  // namespace velimo::serial
