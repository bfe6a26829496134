// Files of every kind where Velimo expects a file it reads: a FIFO
// without a writer, a device, a link to /dev/zero, a folder, a file over
// the reader's limit (by a byte, and by hundreds of megabytes). Each
// reader refuses each of them at once, with the same words, and reads a
// file of exactly its limit; the report writer refuses every kind it
// could block on or write into. Every case runs in a child with a time
// limit, so a reader that waits for ever fails instead of stalling.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "fault_fixture.h"
#include "fleet/units_file.h"
#include "profile/profile_file.h"
#include "serial/port_identity.h"
#include "support/fake_system.h"
#include "util/bounded_file.h"
#include "util/report_file.h"

namespace velimo::faults {
namespace {

namespace fs = std::filesystem;

// A reader that blocks (on a FIFO, a device) is ended here; one that does
// not answers at once, however loaded the machine.
constexpr int kCaseLimitMs = 3 * test::kGenerousMs;

struct Kind {
  const char* name;
  // Puts the thing at path; false when this run cannot (needs root).
  std::function<bool(const std::string& path, size_t limit)> make;
  bool oversized;  // refused for its size, not its kind
};

bool Sparse(const std::string& path, off_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  const bool ok = ::ftruncate(fd, size) == 0;
  ::close(fd);
  return ok;
}

const Kind kKinds[] = {
    {"a FIFO nobody writes",
     [](const std::string& p, size_t) { return mkfifo(p.c_str(), 0600) == 0; }, false},
    {"a character device",
     [](const std::string& p, size_t) {
       return geteuid() == 0 && mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
     },
     false},
    {"a link to /dev/zero",
     [](const std::string& p, size_t) { return symlink("/dev/zero", p.c_str()) == 0; }, false},
    {"a folder", [](const std::string& p, size_t) { return mkdir(p.c_str(), 0700) == 0; }, false},
    {"a file one byte over the limit",
     [](const std::string& p, size_t limit) { return Sparse(p, static_cast<off_t>(limit) + 1); },
     true},
    {"a file of 200 MB", [](const std::string& p, size_t) { return Sparse(p, off_t{200} << 20); },
     true},
};

// The reader's refusal of a hostile file as the operator sees it, or
// what it read.
struct Reader {
  const char* name;
  size_t limit;
  // Where the file goes, given a test folder (and a system tree there).
  std::function<std::string(const std::string& dir, test::FakeSystem& sys)> path;
  // What the reader says of the file at path.
  std::function<std::string(const std::string& path, test::FakeSystem& sys)> read;
  // What it must say of a file refused for reason.
  std::function<std::string(const std::string& path, const std::string& reason)> refusal;
  // A good file of exactly the limit, and what the reader says of it.
  std::function<std::string(size_t limit)> fitting;
  std::string fitting_read;
};

std::string Padded(std::string text, size_t size, char filler) {
  text.resize(size, filler);
  text.back() = '\n';
  return text;
}

const Reader kReaders[] = {
    {"the profile reader", kProfileFileLimit,
     [](const std::string& dir, test::FakeSystem&) { return dir + "/site.vprofile"; },
     [](const std::string& path, test::FakeSystem&) {
       const profile::ProfileRead r = profile::ReadProfileFile(path);
       return r.profile ? "read " + std::to_string(r.profile->settings.size()) + " setting(s)"
                        : r.error;
     },
     [](const std::string& path, const std::string& reason) {
       return "cannot read " + path + ": " + reason;
     },
     [](size_t limit) {
       return Padded("[Profile]\nModel = sTavi\n[Settings]\nCH = 5\n;", limit, ' ');
     },
     "read 1 setting(s)"},
    {"the units-file reader", kUnitsFileLimit,
     [](const std::string& dir, test::FakeSystem&) { return dir + "/units.csv"; },
     [](const std::string& path, test::FakeSystem&) {
       const cli::fleet::ParsedUnits r = cli::fleet::ReadUnitsFile(path);
       return r.units ? "read " + std::to_string(r.units->rows.size()) + " row(s)" : r.error;
     },
     [](const std::string& path, const std::string& reason) {
       return "cannot read the units file " + path + ": " + reason;
     },
     // One blank line of spaces fills it up.
     [](size_t limit) { return Padded("Serial,MYID\nA50285BI,101\n", limit, ' '); },
     "read 1 row(s)"},
    // A tree put in place of /sys: the adapter's serial-number attribute
    // reads as absent, as a missing one does.
    {"the port identity's attribute reader", kSystemAttributeLimit,
     [](const std::string&, test::FakeSystem& sys) {
       sys.PlugFtdi("1-1", "ttyUSB0", "A50285BI");
       const std::string serial = sys.Root() + "/sys/devices/usb1/1-1/serial";
       fs::remove(serial);
       return serial;
     },
     [](const std::string&, test::FakeSystem& sys) {
       return "serial \"" + serial::IdentifyPort("ttyUSB0", sys.Roots()).serial + "\"";
     },
     [](const std::string&, const std::string&) { return std::string("serial \"\""); },
     [](size_t limit) { return Padded("A50285BI\n", limit, ' '); }, "serial \"A50285BI\""},
};

// What was wrong with the reader's answer ("" when right; "skip" when the
// kind cannot be made here).
std::string Observe(const Reader& reader, const Kind* kind) {
  const ChildResult child = RunInChild(
      [&]() -> std::string {
        std::string want;
        test::FakeSystem sys;
        char tmpl[] = "/tmp/velimo-hostile-XXXXXX";
        if (!mkdtemp(tmpl)) return "no test folder";
        const std::string path = reader.path(tmpl, sys);
        std::string said;
        if (kind) {
          if (!kind->make(path, reader.limit)) return "skip";
          const std::string reason =
              kind->oversized ? "larger than " + SizeInWords(reader.limit) : "not a regular file";
          want = reader.refusal(path, reason);
        } else {
          WriteFile(path, reader.fitting(reader.limit));
          want = reader.fitting_read;
        }
        said = reader.read(path, sys);
        fs::remove_all(tmpl);
        return said == want ? "" : "said \"" + said + "\", expected \"" + want + "\"";
      },
      kCaseLimitMs);
  if (child.timed_out) return "no answer within " + std::to_string(kCaseLimitMs) + " ms";
  return child.report;
}

TEST(HostileFiles, EveryReaderRefusesEveryKindAtOnceAndReadsAFileOfItsLimit) {
  for (const Reader& reader : kReaders) {
    EXPECT_EQ(Observe(reader, nullptr), "") << reader.name << ", a file of the limit";
    for (const Kind& kind : kKinds) {
      const std::string outcome = Observe(reader, &kind);
      if (outcome == "skip") continue;
      EXPECT_EQ(outcome, "") << reader.name << ", " << kind.name;
    }
  }
}

TEST(HostileFiles, TheReportWriterRefusesWhatIsNoRegularFileAndLeavesItAsItWas) {
  for (const Kind& kind : kKinds) {
    if (kind.oversized) continue;
    const ChildResult child = RunInChild(
        [&]() -> std::string {
          char tmpl[] = "/tmp/velimo-hostile-XXXXXX";
          if (!mkdtemp(tmpl)) return "no test folder";
          const std::string path = std::string(tmpl) + "/bench.csv";
          if (!kind.make(path, 0)) return "";
          struct stat before, after;
          lstat(path.c_str(), &before);
          const std::string why = WriteReportFile(path, "Port,Result\n", false);
          lstat(path.c_str(), &after);
          std::string left;
          for (const auto& e : fs::directory_iterator(tmpl)) left += e.path().filename().string();
          fs::remove_all(tmpl);
          if (why != "not a regular file") return "said \"" + why + "\"";
          if (before.st_ino != after.st_ino || before.st_mode != after.st_mode)
            return "the thing at the name was replaced";
          if (left != "bench.csv") return "left beside it: " + left;
          return "";
        },
        kCaseLimitMs);
    EXPECT_FALSE(child.timed_out) << kind.name;
    EXPECT_EQ(child.report, "") << kind.name;
  }
}

}  // namespace
}  // namespace velimo::faults
