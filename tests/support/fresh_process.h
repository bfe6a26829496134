// Checks that need a process of their own: one that runs as another user,
// or under limits that must not reach the test program. A forked copy of a
// test program is no place to run C++: it holds only the forking thread,
// and what the other threads had locked stays locked in it. So the check
// runs in a fresh start of the test program, as gtest's threadsafe death
// tests do: the new process runs the current test from its start up to the
// check, runs the check there, and ends.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace velimo::test {

// Runs body in a fresh start of this test program; the test fails when
// body records a failure there (its assertions are reported as usual) or
// the process dies. Nothing after body runs in that process, so body ends
// with whatever cleanup it needs.
void ExpectInFreshProcess(const std::function<void()>& body);

// The unprivileged user a root test runs as (nobody), or nullopt when the
// test does not run as root.
struct Unprivileged {
  uid_t uid;
  gid_t gid;
};
std::optional<Unprivileged> UnprivilegedUser();
// Runs as that user from now on: real and effective ids, no groups. Only
// the saved id stays root, so that the process can clean up after its
// check (RegainPrivileges). Returns false on failure.
bool DropPrivileges(const Unprivileged& who);
// Back to root after DropPrivileges; false when the process never was.
bool RegainPrivileges();

// Runs body as a user without privileges: inline when the test already
// runs as one; as root (where every permission check passes), in a fresh
// process that hands dir and all it holds to nobody, drops to nobody, runs
// body and removes dir.
void ExpectAsUnprivilegedUser(const std::string& dir, const std::function<void()>& body);

}  // namespace velimo::test
