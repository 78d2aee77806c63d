// Folders of this user alone: made with a protected access list that grants
// full control to this user and the system only, and, when already there,
// taken only when they are real folders owned by this user that no one else
// may write to.
#include "platform/win32/win32_shell.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_text.h"

namespace harvel::win32 {

namespace {

// The token's user SID of this process; empty on failure.
std::vector<unsigned char> current_user_sid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  std::vector<unsigned char> sid;
  if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = GetLengthSid(user);
    sid.resize(length);
    if (!CopySid(length, sid.data(), user)) sid.clear();
  }
  CloseHandle(token);
  return sid;
}

struct LocalFreer {
  void operator()(void* p) const { LocalFree(p); }
};

// A folder made with full control for this user and the system only,
// inherited by what is made inside, and no access list taken from above:
// ERROR_SUCCESS, or why it was not made.
DWORD create_private_directory(const std::wstring& path, const std::vector<unsigned char>& user) {
  LPWSTR sid_text = nullptr;
  if (user.empty() || !ConvertSidToStringSidW(const_cast<unsigned char*>(user.data()), &sid_text)) {
    return ERROR_INVALID_SID;
  }
  const std::wstring sddl = L"D:P(A;OICI;FA;;;" + std::wstring(sid_text) + L")(A;OICI;FA;;;SY)";
  LocalFree(sid_text);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return ERROR_INVALID_SECURITY_DESCR;
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  return CreateDirectoryW(path.c_str(), &attributes) ? ERROR_SUCCESS : GetLastError();
}

// Rights that let a holder change what the folder holds or who may.
constexpr ACCESS_MASK kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
                                     FILE_WRITE_EA | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// An existing folder that is this user's: no link, owned by the user, and an
// access list that lets no one but the user, the system and the
// administrators write.
bool folder_is_private(const std::wstring& path, const std::vector<unsigned char>& user) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  const PSID me = const_cast<unsigned char*>(user.data());
  // No access list at all grants everyone everything.
  if (!owner || !EqualSid(owner, me) || !dacl) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kWriteRights) == 0) continue;
    const PSID who = const_cast<DWORD*>(&allowed->SidStart);
    if (!EqualSid(who, me) && !IsWellKnownSid(who, WinLocalSystemSid) &&
        !IsWellKnownSid(who, WinBuiltinAdministratorsSid)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool Win32Folders::claim_private_folder(const std::string& path) {
  const std::vector<unsigned char> user = current_user_sid();
  if (user.empty()) return false;
  const std::wstring wide = widen(path);
  const DWORD made = create_private_directory(wide, user);
  return made == ERROR_SUCCESS || (made == ERROR_ALREADY_EXISTS && folder_is_private(wide, user));
}

std::optional<std::string> Win32Folders::make_private_folder(const std::string& parent, std::string_view prefix) {
  const std::vector<unsigned char> user = current_user_sid();
  if (user.empty()) return std::nullopt;
  std::wstring base = widen(parent);
  if (!base.empty() && base.back() != L'\\') base.push_back(L'\\');
  base += widen(prefix);
  // Names need not be secret: an existing one is never taken, only skipped.
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  unsigned long long seed = static_cast<unsigned long long>(counter.QuadPart) ^ GetCurrentProcessId();
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring name = base;
    for (int i = 0; i < 6; ++i) name.push_back(kLetters[(seed >> (10 + 5 * i)) % 36]);
    const DWORD made = create_private_directory(name, user);
    if (made == ERROR_SUCCESS) return narrow(name);
    if (made != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace harvel::win32
