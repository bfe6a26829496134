#include "util/owner_only_win.h"
// after windows.h
#include <sddl.h>

#include <string>
#include <vector>

namespace velimo {

namespace {

// The user this process runs as, as SID text ("S-1-5-21-..."), or empty.
std::wstring ProcessUserSid(DWORD& error) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    error = GetLastError();
    return {};
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size ? size : 1);
  std::wstring sid;
  wchar_t* text = nullptr;
  if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    sid = text;
    LocalFree(text);
  } else {
    error = GetLastError();
  }
  CloseHandle(token);
  return sid;
}

}  // namespace

// The user is named by its own SID, not by OWNER RIGHTS (S-1-3-4): wine
// knows no OWNER RIGHTS and makes such a list mode 0000, which locks the
// user out, and an administrator's files may belong to the Administrators
// group while the user is who must reach them.
OwnerOnlyAccess::OwnerOnlyAccess(For what) {
  const std::wstring user = ProcessUserSid(error_);
  if (user.empty()) return;
  const std::wstring flags = what == For::Folder ? L"OICI" : L"";
  const std::wstring list = L"D:P(A;" + flags + L";FA;;;" + user + L")(A;" + flags + L";FA;;;SY)";
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(list.c_str(), SDDL_REVISION_1,
                                                            &descriptor_, nullptr)) {
    error_ = GetLastError();
    descriptor_ = nullptr;
    return;
  }
  attributes_ = {sizeof attributes_, descriptor_, FALSE};
}

OwnerOnlyAccess::~OwnerOnlyAccess() {
  if (descriptor_) LocalFree(descriptor_);
}

}  // namespace velimo
