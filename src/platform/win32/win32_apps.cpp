#include "platform/win32/win32_apps.h"

#include <windows.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winver.h>

#include <memory>
#include <string>

namespace harvel::win32 {

namespace {

// The shell's identifiers, spelt out here so that no import library has to
// carry them.
const GUID kFolderIdAppsFolder = {0x1e87508d, 0x89c2, 0x42f0, {0x8a, 0x7e, 0x64, 0x5a, 0x0f, 0x50, 0xca, 0x58}};
const GUID kBhidEnumItems = {0x94f60519, 0x2850, 0x4924, {0xaa, 0x5a, 0xd1, 0x5e, 0x84, 0x86, 0x80, 0x39}};
const PROPERTYKEY kPkeyLinkTargetParsingPath = {
    {0xb9b4b3fc, 0x2b51, 0x4a42, {0xb5, 0xd8, 0x32, 0x41, 0x46, 0xaf, 0xcf, 0x25}}, 2};

constexpr DWORD kDialogNameUnits = 1024;

// A text for a Windows call: the units with exactly one terminating 0 at
// the end (a view without one gets it added).
std::wstring c_text(std::u16string_view units) {
  std::wstring out(units.begin(), units.end());
  if (out.empty() || out.back() != L'\0') out.push_back(L'\0');
  return out;
}

std::u16string units_of(const wchar_t* text) {
  const auto* p = reinterpret_cast<const char16_t*>(text);
  return std::u16string(p);
}

// A shell string in task memory: its units, or none for an error result.
// The memory is freed in every case; the caller checks the units.
std::optional<std::u16string> take_cotaskmem_string(HRESULT hr, PWSTR text) {
  std::optional<std::u16string> out;
  if (SUCCEEDED(hr) && text != nullptr) out = units_of(text);
  CoTaskMemFree(text);
  return out;
}

// CoInitializeEx for the thread while the object lives; a failed
// initialisation is not undone.
class Win32Apartment final : public os::ComApartment {
 public:
  Win32Apartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~Win32Apartment() override {
    if (initialised_) CoUninitialize();
  }
  Win32Apartment(const Win32Apartment&) = delete;
  Win32Apartment& operator=(const Win32Apartment&) = delete;

 private:
  const bool initialised_;
};

BOOL CALLBACK collect_window(HWND hwnd, LPARAM param) {
  auto* windows = reinterpret_cast<std::vector<os::TopLevelWindow>*>(param);
  os::TopLevelWindow w;
  w.window = reinterpret_cast<os::WindowHandle>(hwnd);
  w.visible = IsWindowVisible(hwnd) != FALSE;
  w.title_length = GetWindowTextLengthW(hwnd);
  w.ex_style = static_cast<int32_t>(GetWindowLongW(hwnd, GWL_EXSTYLE));
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  w.pid = pid;
  windows->push_back(w);
  return TRUE;  // always to the end
}

os::ShellAppItem read_item(IShellItem* child) {
  os::ShellAppItem item;
  PWSTR name = nullptr;
  item.display_name = take_cotaskmem_string(child->GetDisplayName(SIGDN_NORMALDISPLAY, &name), name);
  IShellItem2* child2 = nullptr;
  if (SUCCEEDED(child->QueryInterface(IID_PPV_ARGS(&child2))) && child2 != nullptr) {
    PWSTR target = nullptr;
    item.target_path = take_cotaskmem_string(child2->GetString(kPkeyLinkTargetParsingPath, &target), target);
    child2->Release();
  }
  return item;
}

}  // namespace

std::unique_ptr<os::ComApartment> Win32Apps::enter_com_apartment() { return std::make_unique<Win32Apartment>(); }

std::vector<os::TopLevelWindow> Win32Apps::top_level_windows() {
  std::vector<os::TopLevelWindow> windows;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<os::ShellAppItem> Win32Apps::applications_folder_items() {
  std::vector<os::ShellAppItem> items;
  // Nested inside a caller's apartment this only counts up and down again.
  const Win32Apartment apartment;
  IShellItem* folder = nullptr;
  if (SUCCEEDED(SHGetKnownFolderItem(kFolderIdAppsFolder, KF_FLAG_DEFAULT, nullptr, IID_PPV_ARGS(&folder))) &&
      folder != nullptr) {
    IEnumShellItems* children = nullptr;
    if (SUCCEEDED(folder->BindToHandler(nullptr, kBhidEnumItems, IID_PPV_ARGS(&children))) && children != nullptr) {
      for (;;) {
        IShellItem* child = nullptr;
        ULONG fetched = 0;
        if (children->Next(1, &child, &fetched) != S_OK || fetched == 0 || child == nullptr) {
          if (child) child->Release();
          break;
        }
        items.push_back(read_item(child));
        child->Release();
      }
      children->Release();
    }
    folder->Release();
  }
  return items;
}

uint32_t Win32Apps::expand_environment_strings(std::u16string_view text_nul, std::span<char16_t> buffer) {
  const std::wstring source = c_text(text_nul);
  return ExpandEnvironmentStringsW(source.c_str(), reinterpret_cast<wchar_t*>(buffer.data()),
                                   static_cast<DWORD>(buffer.size()));
}

std::optional<std::size_t> Win32Apps::read_file_start(std::u16string_view path_nul, std::span<uint8_t> buffer) {
  const std::wstring path = c_text(path_nul);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::size_t total = 0;
  bool failed = false;
  while (total < buffer.size()) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data() + total, static_cast<DWORD>(buffer.size() - total), &got, nullptr)) {
      failed = true;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  CloseHandle(file);
  if (failed) return std::nullopt;
  return total;
}

std::optional<std::vector<uint8_t>> Win32Apps::file_version_info(std::u16string_view path_nul) {
  const std::wstring path = c_text(path_nul);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;
  return block;
}

std::optional<os::VersionValue> Win32Apps::ver_query_value(std::span<const uint8_t> block,
                                                           std::u16string_view sub_block_nul) {
  if (block.empty()) return std::nullopt;
  const std::wstring sub_block = c_text(sub_block_nul);
  LPVOID data = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), sub_block.c_str(), &data, &length)) return std::nullopt;
  return os::VersionValue{static_cast<const uint8_t*>(data), length};
}

std::optional<os::IconBitmap> Win32Apps::shell_icon(std::u16string_view path_nul) {
  const std::wstring path = c_text(path_nul);
  SHFILEINFOW info{};
  if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ICON) == 0 || info.hIcon == nullptr) {
    return std::nullopt;
  }
  ICONINFO icon{};
  if (!GetIconInfo(info.hIcon, &icon)) {
    DestroyIcon(info.hIcon);
    return std::nullopt;
  }
  auto release = [&] {
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
    if (icon.hbmMask) DeleteObject(icon.hbmMask);
    DestroyIcon(info.hIcon);
  };
  BITMAP bitmap{};
  constexpr LONG kMaxSide = 4096;
  if (icon.hbmColor == nullptr || GetObjectW(icon.hbmColor, sizeof(bitmap), &bitmap) == 0 || bitmap.bmWidth <= 0 ||
      bitmap.bmHeight <= 0 || bitmap.bmWidth > kMaxSide || bitmap.bmHeight > kMaxSide) {
    release();
    return std::nullopt;
  }
  os::IconBitmap out;
  out.width = static_cast<uint32_t>(bitmap.bmWidth);
  out.height = static_cast<uint32_t>(bitmap.bmHeight);
  out.bgra.assign(std::size_t{out.width} * out.height * 4, 0);
  BITMAPINFO header{};
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biWidth = bitmap.bmWidth;
  header.bmiHeader.biHeight = -bitmap.bmHeight;  // rows top to bottom
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, icon.hbmColor, 0, static_cast<UINT>(bitmap.bmHeight), out.bgra.data(), &header,
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  release();
  if (rows == 0) return std::nullopt;
  return out;
}

std::optional<std::u16string> Win32Apps::open_file_dialog(std::u16string_view filter_name,
                                                          std::u16string_view pattern) {
  // Pairs of 0-terminated texts, ended by an empty one.
  std::wstring filter(filter_name.begin(), filter_name.end());
  filter.push_back(L'\0');
  filter.append(pattern.begin(), pattern.end());
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  std::wstring name(kDialogNameUnits, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = nullptr;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = kDialogNameUnits;
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  const std::size_t end = name.find(L'\0');
  return std::u16string(name.begin(), end == std::wstring::npos ? name.end() : name.begin() + end);
}

}  // namespace harvel::win32
