// Writing a profile file: a new file beside it, readable by its owner alone
// from its first byte when it holds the key or IV, moved over the old one;
// a device, a FIFO or a stranger's link at the name is refused and kept.
#include "profile/profile_file.h"
#include "util/errors.h"
#include "util/safe_replace.h"

namespace velimo::profile {

void WriteProfileFile(const std::string& path, const Profile& profile) {
  ReplaceOptions options;
  options.ownerOnly = profile.HasSecrets();
  const ReplaceResult written = ReplaceSafely(path, ProfileText(profile), options);
  if (!written.done) throw Exception("Unable to write to " + path + ": " + written.why);
}

}  // namespace velimo::profile
