// What a hostile file costs the readers of files Velimo is handed: a
// 110 MB "profile" whose fifth line is already wrong, a link to /dev/zero,
// a FIFO nobody writes, a units file just over its limit, a 200 MB "port
// attribute". Each is read in a child of its own, so its peak memory is
// the reader's alone; printed are the wall time of the read and the
// child's peak resident memory, beside a good profile read whole.
//
//   file_refusal_bench [FOLDER]   (a temporary folder under /tmp by default)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "fleet/units_file.h"
#include "profile/profile_file.h"
#include "util/bounded_file.h"

namespace {

namespace fs = std::filesystem;

// Writes size bytes: the head, then copies of line (real blocks, not holes).
void WriteFile(const std::string& path, const std::string& head, size_t size,
               std::string line = std::string(63, 'x') + "\n") {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fwrite(head.data(), 1, head.size(), out);
  for (size_t done = head.size(); done < size; done += line.size())
    std::fwrite(line.data(), 1, std::min(line.size(), size - done), out);
  std::fclose(out);
}

struct Figure {
  double ms = -1;
  long peak_kib = 0;
  std::string said;
};

// Runs reader in a child; its time, peak memory and answer.
Figure Measure(const std::function<std::string()>& reader) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    alarm(60);  // a reader that hangs ends here
    const auto start = std::chrono::steady_clock::now();
    const std::string said = reader();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const std::string out = std::to_string(ms) + "\n" + said;
    if (write(fds[1], out.data(), out.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  Figure f;
  f.peak_kib = usage.ru_maxrss;
  const size_t nl = out.find('\n');
  if (nl == std::string::npos) {
    f.said = WIFSIGNALED(status) ? "no answer within 60 s" : "no answer";
    return f;
  }
  f.ms = std::atof(out.substr(0, nl).c_str());
  f.said = out.substr(nl + 1);
  return f;
}

std::string Profile(const std::string& path) {
  const velimo::profile::ProfileRead r = velimo::profile::ReadProfileFile(path);
  return r.profile ? "read, " + std::to_string(r.profile->settings.size()) + " setting(s)"
                   : r.error;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
  } else {
    char tmpl[] = "/tmp/velimo-refusal-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    dir = tmpl;
  }
  const std::string head = "[Profile]\nModel = sTavi\n[Settings]\nCH = 5\nnot a key line\n";
  WriteFile(dir + "/good.vprofile", "[Profile]\nModel = sTavi\n[Settings]\nCH = 5\n", 4096,
            "; a comment line of a profile, as an editor may leave many of them\n");
  WriteFile(dir + "/big.vprofile", head, size_t{110} * 1000 * 1000);
  WriteFile(dir + "/big.csv", "Serial,MYID\n", velimo::kUnitsFileLimit + 1);
  WriteFile(dir + "/serial", "A50285BI\n", size_t{200} * 1000 * 1000);
  fs::remove(dir + "/zero.vprofile");
  fs::create_symlink("/dev/zero", dir + "/zero.vprofile");
  fs::remove(dir + "/fifo.vprofile");
  mkfifo((dir + "/fifo.vprofile").c_str(), 0600);

  struct Case {
    const char* name;
    std::function<std::string()> read;
  };
  const Case cases[] = {
      {"a good profile of 4 KiB, read whole", [&] { return Profile(dir + "/good.vprofile"); }},
      {"a 110 MB profile, wrong at its line 5", [&] { return Profile(dir + "/big.vprofile"); }},
      {"a profile that is a link to /dev/zero", [&] { return Profile(dir + "/zero.vprofile"); }},
      {"a profile that is a FIFO nobody writes", [&] { return Profile(dir + "/fifo.vprofile"); }},
      {"a units file one byte over 16 MiB",
       [&] { return velimo::cli::fleet::ReadUnitsFile(dir + "/big.csv").error; }},
      {"a port attribute of 200 MB",
       [&] {
         const velimo::BoundedRead r =
             velimo::ReadBoundedFile(dir + "/serial", velimo::kSystemAttributeLimit);
         return r.ok ? "read " + std::to_string(r.text.size()) + " bytes" : r.reason;
       }},
  };
  std::printf(
      "| Hostile file | Wall time | Peak memory of the reading process | What the reader said |\n");
  std::printf("|---|---|---|---|\n");
  for (const Case& c : cases) {
    const Figure f = Measure(c.read);
    std::string said = f.said;
    if (const size_t at = said.find(dir); at != std::string::npos)
      said.replace(at, dir.size(), "DIR");
    std::printf("| %s | %.3f ms | %ld KiB | %s |\n", c.name, f.ms, f.peak_kib, said.c_str());
  }
  if (argc <= 1) fs::remove_all(dir);
  return 0;
}
