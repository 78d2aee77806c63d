// harvel.exe's own resources, read back by the system: the program icon as
// icon 1 in every size from 16 to 256 pixels, the version resource from the
// project's version, and the application manifest.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"
#include "shell/app_info.h"
#include "support/test_app.h"
#include "win32/desktop.h"

#include <windows.h>

namespace harvel {
namespace {

using namespace win32test;

class HarvelExeResources : public ::testing::Test {
 protected:
  HarvelExeResources() { win32::install_win32_platform(); }
  void SetUp() override {
    module_ = LoadLibraryExW(windows_path(HARVEL_EXE).c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  std::string resource(const wchar_t* type, int id) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, SizeofResource(module_, found)) : std::string();
  }

  testing::TestApp t_;
  HMODULE module_ = nullptr;
};

TEST_F(HarvelExeResources, IconOneInEverySize) {
  // The icon group: a 6-byte header, then 14 bytes per image, its width
  // first (0 meaning 256).
  const std::string group = resource(RT_GROUP_ICON, 1);
  ASSERT_GE(group.size(), 6u);
  const unsigned count = static_cast<uint8_t>(group[4]) | (static_cast<uint8_t>(group[5]) << 8);
  ASSERT_EQ(group.size(), 6 + 14 * count);
  std::set<int> sizes;
  for (unsigned i = 0; i < count; ++i) {
    const int w = static_cast<uint8_t>(group[6 + 14 * i]);
    sizes.insert(w == 0 ? 256 : w);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));
  for (int size : {16, 32, 256}) {
    HICON icon = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, size);
    EXPECT_EQ(bm.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_F(HarvelExeResources, VersionFromTheProject) {
  const std::wstring path = windows_path(HARVEL_EXE);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>((HARVEL_VERSION_MAJOR << 16) | HARVEL_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(HARVEL_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars) || chars == 0) {
      return std::string();
    }
    return win32::narrow(std::wstring(value, wcsnlen(value, chars)));
  };
  EXPECT_EQ(text(L"FileVersion"), HARVEL_VERSION);
  EXPECT_EQ(text(L"ProductVersion"), HARVEL_VERSION);
  EXPECT_EQ(text(L"ProductName"), "Harvel");
  EXPECT_EQ(text(L"OriginalFilename"), "harvel.exe");
  // The name the application lists show for it.
  EXPECT_EQ(version_resource_name(win32::narrow(path)), "Harvel");
}

TEST_F(HarvelExeResources, Manifest) {
  const std::string manifest = resource(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  for (const std::string& part : {
           std::string("version=\"") + HARVEL_VERSION + ".0\"",
           std::string("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
           std::string("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
           std::string("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2<"),
           std::string("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"),
       }) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(resource(RT_MANIFEST, 2), "") << "one manifest only";
}

}  // namespace
}  // namespace harvel
