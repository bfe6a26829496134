#include "util/report_file.h"

#include "util/safe_replace.h"

namespace velimo {

std::string WriteReportFile(const std::string& path, std::string_view text, bool holdsSecrets) {
  ReplaceOptions options;
  options.ownerOnly = holdsSecrets;
  return ReplaceSafely(path, text, options).why;
}

}  // namespace velimo
