#include "interrupt.h"

#include <signal.h>

#include <csignal>

namespace velimo::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void NoteInterrupt(int signal) {
  interrupted = 1;
#ifdef _WIN32
  // The C library of Windows puts the default handler back before it
  // calls this one.
  std::signal(signal, NoteInterrupt);
#else
  (void)signal;
#endif
}

}  // namespace

void CatchInterrupts() {
#ifdef _WIN32
  // Ctrl-C and Ctrl-Break reach a console program as SIGINT and SIGBREAK.
  std::signal(SIGINT, NoteInterrupt);
  std::signal(SIGBREAK, NoteInterrupt);
  std::signal(SIGTERM, NoteInterrupt);
  return;
#else
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool Interrupted() {
  return interrupted != 0;
}

const volatile std::sig_atomic_t* InterruptFlag() {
  return &interrupted;
}

}  // namespace velimo::cli
