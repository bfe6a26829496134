// Files and folders their owner alone may reach, on Windows: what mode 0600
// and 0700 are on Linux. The access list names this process's user and the
// system (which backs files up and scans them) and takes nothing from the
// folder above.
#pragma once

#include <windows.h>

namespace velimo {

class OwnerOnlyAccess {
 public:
  enum class For { File, Folder };
  // A folder's entries are passed on to the files and folders made in it.
  explicit OwnerOnlyAccess(For what);
  ~OwnerOnlyAccess();
  OwnerOnlyAccess(const OwnerOnlyAccess&) = delete;
  OwnerOnlyAccess& operator=(const OwnerOnlyAccess&) = delete;

  // For CreateFileW and CreateDirectoryW; nullptr when the list could not
  // be made (error() says why).
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }
  DWORD error() const { return error_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
  DWORD error_ = 0;
};

}  // namespace velimo
