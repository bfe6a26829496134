#include <windows.h>

#include <filesystem>
#include <system_error>

#include "util/restart.h"
#include "util/wide_text_win.h"

namespace velimo {

const std::string& OwnExecutable() {
  static const std::string path = [] {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::string();
      if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
      buffer.resize(buffer.size() * 2);
    }
  }();
  return path;
}

RestartCommand RestartCommandFor(const std::string& executable,
                                 const std::string& working_directory) {
  RestartCommand command;
  command.executable = executable;
  command.program_name = Narrow(std::filesystem::path(Widen(executable)).filename().wstring());
  command.working_directory = working_directory;
  return command;
}

RestartCommand OwnRestartCommand() {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return RestartCommandFor(OwnExecutable(), ec ? std::string(".") : Narrow(cwd.wstring()));
}

pid_t StartDetached(const RestartCommand& command) {
  if (command.executable.empty()) return -1;
  std::wstring line;
  AppendQuotedWord(line,
                   Widen(command.program_name.empty() ? command.executable : command.program_name));
  for (const std::string& a : command.arguments) AppendQuotedWord(line, Widen(a));
  const std::wstring executable = Widen(command.executable);
  const std::wstring folder = Widen(command.working_directory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // A process group of its own, so a Ctrl-C meant for this instance does
  // not reach it.
  if (!CreateProcessW(executable.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return -1;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<pid_t>(process.dwProcessId);
}

}  // namespace velimo
