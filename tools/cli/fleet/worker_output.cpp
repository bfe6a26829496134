#include "fleet/worker_output.h"

#include "fleet/worker_pool.h"

namespace velimo::cli::fleet {

void KeepTail(std::string& tail, std::string_view more, bool final) {
  if (more.size() >= kWorkerTailBytes) {
    tail.assign(more.substr(more.size() - kWorkerTailBytes));
    return;
  }
  tail.append(more);
  const size_t limit = final ? kWorkerTailBytes : 2 * kWorkerTailBytes;
  if (tail.size() > limit) tail.erase(0, tail.size() - kWorkerTailBytes);
}

void WorkerLine::Take(std::string_view chunk, const std::function<void(const std::string&)>& line) {
  for (;;) {
    const size_t nl = chunk.find('\n');
    const std::string_view part = chunk.substr(0, nl);
    if (!overlong) {
      const size_t room = kWorkerLineBytes - pending.size();
      pending.append(part.substr(0, room));
      overlong = part.size() > room;
    }
    if (nl == std::string_view::npos) return;
    if (line) line(pending);
    pending.clear();
    overlong = false;
    chunk.remove_prefix(nl + 1);
  }
}

}  // namespace velimo::cli::fleet
