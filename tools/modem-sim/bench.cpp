#include "bench.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace velimo::sim {

namespace {

// "4s" -> four 's'; "r" -> one 'r'. Empty on anything else.
std::vector<char> Item(const std::string& item) {
  size_t digits = 0;
  while (digits < item.size() && item[digits] >= '0' && item[digits] <= '9') ++digits;
  if (item.size() != digits + 1 || std::string("suri").find(item.back()) == std::string::npos)
    return {};
  int count = 1;
  if (digits > 0) {
    if (digits > 3) return {};
    count = std::stoi(item.substr(0, digits));
  }
  if (count < 1) return {};
  return std::vector<char>(static_cast<size_t>(count), item.back());
}

}  // namespace

ParsedBench ParseBench(const std::vector<std::string>& args) {
  ParsedBench parsed;
  BenchPlan plan;
  bool have_bench = false;
  std::string refused;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    const bool takes_value = name.starts_with("--bench") || name.starts_with("--dir");
    if (const auto eq = name.find('='); eq != std::string::npos && takes_value) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if ((name == "--bench" || name == "--dir") && i + 1 < args.size()) {
      value = args[++i];
    }
    if (name == "--bench") {
      have_bench = true;
      size_t start = 0;
      while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        const std::vector<char> models = Item(value.substr(start, comma - start));
        if (models.empty()) {
          parsed.error = "--bench needs a list such as 4s,2u,r,i";
          return parsed;
        }
        plan.models.insert(plan.models.end(), models.begin(), models.end());
        start = comma + 1;
      }
      if (plan.models.size() > 256) {
        parsed.error = "--bench starts at most 256 modems";
        return parsed;
      }
    } else if (name == "--dir") {
      if (value.empty()) {
        parsed.error = "--dir needs a folder";
        return parsed;
      }
      plan.dir = value;
    } else {
      const std::string base = name.substr(0, name.find('='));
      if ((base == "--link" || base == "--state" || base == "--model") && refused.empty())
        refused = base + " is chosen for each modem of a bench";
      plan.common.push_back(args[i]);
    }
  }
  if (!have_bench) return parsed;
  if (!refused.empty()) {
    parsed.error = refused;
    return parsed;
  }
  parsed.plan = std::move(plan);
  return parsed;
}

std::vector<std::string> BenchModemArgs(const BenchPlan& plan, size_t i) {
  const std::string n = std::to_string(i + 1);
  std::vector<std::string> args = {"--model", std::string(1, plan.models[i]),
                                   "--link",  plan.dir + "/ttyVelimo-" + n,
                                   "--state", plan.dir + "/modem-" + n + ".state"};
  args.insert(args.end(), plan.common.begin(), plan.common.end());
  return args;
}

int RunBench(const BenchPlan& plan, const std::string& program) {
  // The signals that end the bench are taken here, not by the default
  // action, so every modem gets the chance to remove its link.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGCHLD);
  sigset_t before;
  sigprocmask(SIG_BLOCK, &ending, &before);

  std::vector<pid_t> modems;
  int status_all = 0;
  for (size_t i = 0; i < plan.models.size(); ++i) {
    std::vector<std::string> args = BenchModemArgs(plan, i);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setsigmask(&attr, &before);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
      std::fprintf(stderr, "velimo-modem-sim: cannot start modem %zu: %s\n", i + 1,
                   std::strerror(rc));
      status_all = 1;
      break;
    }
    modems.push_back(pid);
  }

  size_t running = modems.size();
  bool ending_all = status_all != 0;
  if (ending_all)
    for (pid_t pid : modems) kill(pid, SIGTERM);
  while (running > 0) {
    int sig = 0;
    if (!ending_all) {
      sigwait(&ending, &sig);
      if (sig == SIGINT || sig == SIGTERM) {
        ending_all = true;
        for (pid_t pid : modems) kill(pid, SIGTERM);
      }
    }
    int status = 0;
    pid_t pid;
    while (running > 0 && (pid = waitpid(-1, &status, ending_all ? 0 : WNOHANG)) != 0) {
      if (pid < 0) {
        if (errno == EINTR) continue;
        running = 0;
        break;
      }
      --running;
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) status_all = 1;
    }
  }
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return status_all;
}

}  // namespace velimo::sim
