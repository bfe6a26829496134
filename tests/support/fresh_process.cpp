#include "support/fresh_process.h"

#include <grp.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace velimo::test {

namespace {

// Runs body and ends the process: status 1 when something failed, whose
// report reaches the test's output through stderr (the waiting test shows
// it).
[[noreturn]] void RunBodyAndExit(const std::function<void()>& body) {
  ::testing::TestPartResultArray results;
  {
    ::testing::ScopedFakeTestPartResultReporter intercept(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
    body();
  }
  int failed = 0;
  for (int i = 0; i < results.size(); ++i) {
    const ::testing::TestPartResult& r = results.GetTestPartResult(i);
    if (!r.failed()) continue;
    ++failed;
    std::fprintf(stderr, "%s:%d: %s\n", r.file_name() ? r.file_name() : "?", r.line_number(),
                 r.message());
  }
  std::fflush(stderr);
  _exit(failed ? 1 : 0);
}

}  // namespace

void ExpectInFreshProcess(const std::function<void()>& body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunBodyAndExit(body), ::testing::ExitedWithCode(0), "");
}

std::optional<Unprivileged> UnprivilegedUser() {
  if (geteuid() != 0) return std::nullopt;
  const passwd* pw = getpwnam("nobody");
  if (!pw) return Unprivileged{65534, 65534};
  return Unprivileged{pw->pw_uid, pw->pw_gid};
}

bool DropPrivileges(const Unprivileged& who) {
  return setgroups(0, nullptr) == 0 && setresgid(who.gid, who.gid, 0) == 0 &&
         setresuid(who.uid, who.uid, 0) == 0 && geteuid() == who.uid && getuid() == who.uid;
}

bool RegainPrivileges() {
  return setresuid(0, 0, 0) == 0 && setresgid(0, 0, 0) == 0;
}

void ExpectAsUnprivilegedUser(const std::string& dir, const std::function<void()>& body) {
  const std::optional<Unprivileged> who = UnprivilegedUser();
  if (!who) return body();
  ExpectInFreshProcess([&] {
    namespace fs = std::filesystem;
    auto handOver = [&](const fs::path& p) {
      if (lchown(p.c_str(), who->uid, who->gid) != 0) ADD_FAILURE() << "could not hand over " << p;
    };
    handOver(dir);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) handOver(e.path());
    if (!DropPrivileges(*who)) {
      ADD_FAILURE() << "could not drop privileges";
      return;
    }
    body();
    RegainPrivileges();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  });
}

}  // namespace velimo::test
