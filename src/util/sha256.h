// SHA-256 (FIPS 180-4), for telling in a report which profile file was
// run: the digest names the file's exact bytes, whatever its name.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

// The digest of bytes as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace velimo
