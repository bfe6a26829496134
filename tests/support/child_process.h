// Child processes of the tests and benchmarks: programs started with their
// output in files, waited for with a time limit, and the simulated modem.
// No test framework here: the benchmarks use it too.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velimo::test {

// Starts program with args in dir: input from /dev/null, output and errors
// into the two files. It gets SIGTERM when the thread that started it ends
// (a test cut short leaves nothing running). Between fork and exec the copy
// only makes system calls. Returns its pid, or -1.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& dir, const std::string& outPath, const std::string& errPath);

// Waits for a child at most limitMs and kills it when it overruns. Returns
// its exit status, -N when a signal N ended it, -1000 when it cannot be
// waited for.
int WaitChild(pid_t pid, int limitMs, bool* timedOut = nullptr);

// velimo-modem-sim as a child process, its output in dir/sim.out and
// dir/sim.err.
class SimProcess {
 public:
  SimProcess() = default;
  // Stops it.
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts program for model ('s', 'u', 'r', 'i') on link with its state
  // file, plus extra options, and waits until its line is there (it has
  // printed the line's path). Stops one that is running first. Returns ""
  // or what went wrong.
  std::string Start(const std::string& program, const std::string& dir, char model,
                    const std::string& link, const std::string& state,
                    const std::vector<std::string>& extra = {});
  // As an operator pressing Ctrl+C: SIGTERM, and waits for it.
  void Stop();
  // As an adapter pulled out: SIGKILL, its end of the line closes with
  // nothing said, and its link goes as udev takes a removed adapter's
  // links away. A link left behind would lead, once the kernel gives the
  // pseudo-terminal's number to a new one, to another test's modem, and a
  // program waiting for its adapter would open that.
  void Kill();
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

 private:
  void End(int signal);

  pid_t pid_ = -1;
  std::string out_;
  std::string link_;
};

}  // namespace velimo::test
