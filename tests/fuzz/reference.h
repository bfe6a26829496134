// Shared by the fuzz targets.
#pragma once

// The targets' own reference code (plain readers and splitters the results
// are compared with) is left out of the coverage feedback: the fuzzer
// should steer by the code under test, and these loops would only slow it
// down and reward inputs for exercising the reference.
#define FUZZ_REFERENCE __attribute__((no_sanitize("coverage")))
