// Writing a bench report. Kept to one call so the way a report reaches the
// disk can change (safer kinds of replacement) without its callers.
#pragma once

#include <string>

namespace velimo::cli::fleet {

// Writes text to path, creating it or replacing its contents. A report
// that may hold the key and IV (secret) is made readable by its owner
// only (0600), also when the file was there before. Returns "" or the
// system's reason.
std::string WriteReportFile(const std::string& path, const std::string& text, bool secret);

}  // namespace velimo::cli::fleet
