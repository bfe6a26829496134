#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace velimo::test {

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& dir, const std::string& outPath, const std::string& errPath) {
  std::vector<std::string> text = {program};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int WaitChild(pid_t pid, int limitMs, bool* timedOut) {
  const int64_t until = NowMs() + limitMs;
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0) return -1000;
    if (NowMs() >= until) {
      if (timedOut) *timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(2000);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return -1000;
}

SimProcess::~SimProcess() {
  Stop();
}

std::string SimProcess::Start(const std::string& program, const std::string& dir, char model,
                              const std::string& link, const std::string& state,
                              const std::vector<std::string>& extra) {
  Stop();
  std::vector<std::string> args = {"--model", std::string(1, model), "--link", link, "--state",
                                   state};
  args.insert(args.end(), extra.begin(), extra.end());
  out_ = dir + "/sim.out";
  link_ = link;
  const std::string err = dir + "/sim.err";
  std::remove(out_.c_str());
  pid_ = Spawn(program, args, dir, out_, err);
  if (pid_ <= 0) return "the simulator could not be started";
  // Ready once it has printed its line's path (the link exists by then).
  const int64_t until = NowMs() + 5000;
  while (ReadFile(out_).find('\n') == std::string::npos) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return "the simulator ended at start: " + ReadFile(err);
    }
    if (NowMs() >= until) return "the simulator did not come up";
    usleep(2000);
  }
  return "";
}

void SimProcess::Stop() {
  End(SIGTERM);
}

void SimProcess::Kill() {
  End(SIGKILL);
}

void SimProcess::End(int signal) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  WaitChild(pid_, 3000);
  pid_ = -1;
  struct stat st;
  if (signal == SIGKILL && lstat(link_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    unlink(link_.c_str());
  std::remove(out_.c_str());
}

}  // namespace velimo::test
