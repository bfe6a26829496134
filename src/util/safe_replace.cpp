#include "util/safe_replace.h"

#include <charconv>

namespace velimo {

std::string ReplacePrefix(const std::string& target) {
#ifdef _WIN32
  const size_t slash = target.find_last_of("/\\");
#else
  const size_t slash = target.rfind('/');
#endif
  return (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
}

unsigned long ReplacePidOf(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return 0;
  name.remove_prefix(prefix.size());
  const size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos) return 0;
  unsigned long pid = 0;
  const char* pidEnd = name.data() + dash;
  if (std::from_chars(name.data(), pidEnd, pid).ptr != pidEnd) return 0;
  const std::string_view attempt = name.substr(dash + 1);
  if (attempt.empty() || attempt.find_first_not_of("0123456789") != std::string_view::npos)
    return 0;
  return pid;
}

}  // namespace velimo
