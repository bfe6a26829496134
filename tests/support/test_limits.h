// The bounds a test that runs in real time waits with. A test waits for
// what it needs to see, never for a length of time: the bound is far
// beyond what any step takes on a loaded machine or under a sanitizer, and
// a test that holds returns as soon as its condition does.
#pragma once

namespace velimo::test {

// How long a condition is waited for before a test gives up on it.
constexpr int kGenerousMs = 10000;
// A limit given to the code under test that no test may reach: an
// operation that ends before it was ended by what the test did.
constexpr int kNeverMs = 10 * 60 * 1000;

}  // namespace velimo::test
