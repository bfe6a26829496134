// What the coordinator keeps of a worker's output, alike on every system:
// the last bytes of each stream, and standard output as lines, each kept
// up to its bound.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace velimo::cli::fleet {

// Keeps the last kWorkerTailBytes of a stream (up to twice that between
// trims, so trimming costs nothing per byte; final trims to the bound).
void KeepTail(std::string& tail, std::string_view more, bool final = false);

// Standard output cut into lines as it arrives in chunks of any size.
struct WorkerLine {
  std::string pending;    // the line begun, at most kWorkerLineBytes of it
  bool overlong = false;  // the line begun is longer: the rest of it is dropped

  // Takes chunk in and hands on each line it completes (without its "\n").
  void Take(std::string_view chunk, const std::function<void(const std::string&)>& line);
};

}  // namespace velimo::cli::fleet
