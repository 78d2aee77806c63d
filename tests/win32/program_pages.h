// harvel.exe run whole against the fake WebView2 runtime of
// tests/win32/fake_webview2: the runtime's registration in the prefix, the
// user's settings file, the program's windows, and its pages, which the fake
// runtime logs (HARVEL_FAKE_WEBVIEW2_LOG, one JSON record a line) and lets a
// test drive.
//
// Include after the program's headers (see desktop.h).
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_web_windows.h"
#include "platform/win32/win32_webview2.h"
#include "win32/desktop.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace harvel::win32test {

namespace fs = std::filesystem;

// The fake runtime as the installer registers a per-user runtime: its
// version under the client key, and its folder.
class RuntimeRegistration {
 public:
  RuntimeRegistration(const std::wstring& version, const std::wstring& folder) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, win32::kWebView2ClientKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    set(key, L"pv", version);
    set(key, L"location", folder);
    RegCloseKey(key);
    ok_ = true;
  }
  // The fake runtime built with the tests.
  RuntimeRegistration()
      : RuntimeRegistration(win32::widen(HARVEL_FAKE_WEBVIEW2_VERSION), windows_path(HARVEL_FAKE_WEBVIEW2_DIR)) {}
  ~RuntimeRegistration() { RegDeleteTreeW(HKEY_CURRENT_USER, win32::kWebView2ClientKey); }
  RuntimeRegistration(const RuntimeRegistration&) = delete;
  RuntimeRegistration& operator=(const RuntimeRegistration&) = delete;
  bool ok() const { return ok_; }

 private:
  static void set(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  bool ok_ = false;
};

inline fs::path known_folder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  fs::path out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) out = path;
  CoTaskMemFree(path);
  return out;
}

// The program's data folder.
inline fs::path roaming_folder() { return known_folder(FOLDERID_RoamingAppData) / "uz.harvel.desktop"; }

inline std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_text(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// The user's settings file, put back as it was afterwards.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& text) : path_(roaming_folder() / "settings.json") {
    if (fs::exists(path_)) old_ = read_text(path_);
    write_text(path_, text);
  }
  ~SettingsFile() {
    std::error_code ec;
    if (old_) {
      write_text(path_, *old_);
    } else {
      fs::remove(path_, ec);
    }
  }
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::optional<std::string> old_;
};

inline std::wstring class_of(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

inline std::string label_of(HWND w) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(GetPropW(w, win32::kWindowLabelProperty)));
  wchar_t name[64] = {};
  if (atom) GlobalGetAtomNameW(atom, name, 64);
  return win32::narrow(name);
}

// The process's top-level window of a class (and label); null when none.
inline HWND find_window(DWORD pid, const wchar_t* cls, const std::string& label = {}) {
  struct Search {
    DWORD pid;
    const wchar_t* cls;
    const std::string* label;
    HWND found;
  } search{pid, cls, &label, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != s->pid || class_of(w) != s->cls || (!s->label->empty() && label_of(w) != *s->label)) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The running program's single-instance window (message-only, named after
// the program's identifier); null when no copy runs.
inline HWND program_app_window() {
  return FindWindowExW(HWND_MESSAGE, nullptr, L"HarvelAppWindow", L"uz.harvel.desktop");
}

// The pages of one running program, through the fake runtime's log.
class ProgramPages {
 public:
  using Json = nlohmann::json;

  ProgramPages(fs::path log, DWORD pid) : log_(std::move(log)), pid_(pid) {}

  // Every record the fake runtime has written so far.
  std::vector<Json> records() const {
    std::vector<Json> out;
    std::ifstream in(log_, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      Json j = Json::parse(line, nullptr, false);
      if (!j.is_discarded()) out.push_back(std::move(j));
    }
    return out;
  }

  // The first record that matches, waited for (with this thread's messages
  // pumped).
  std::optional<Json> wait_record(const std::function<bool(const Json&)>& match,
                                  std::chrono::milliseconds timeout = kEventWait) const {
    std::optional<Json> found;
    pump_until(
        [&] {
          for (Json& r : records()) {
            if (match(r)) {
              found = std::move(r);
              return true;
            }
          }
          return false;
        },
        timeout);
    return found;
  }

  // The answer posted to a window for call `id`.
  std::optional<Json> answer(const std::string& label, const std::string& id) const {
    const auto post = wait_record([&](const Json& r) {
      if (r["e"] != "post" || r["window"] != label) return false;
      const Json m = Json::parse(r["json"].get<std::string>(), nullptr, false);
      return m.is_object() && m.value("id", "") == id;
    });
    if (!post) return std::nullopt;
    return Json::parse((*post)["json"].get<std::string>());
  }

  HWND window(const std::string& label) const { return find_window(pid_, win32::kWebWindowClass, label); }

  // Hands a command to the fake page of a window.
  bool page(const std::string& label, const Json& command) const {
    HWND top = window(label);
    HWND view = top ? FindWindowExW(top, nullptr, L"HarvelFakeWebView", nullptr) : nullptr;
    if (!view) return false;
    const std::string text = command.dump();
    COPYDATASTRUCT data{};
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = const_cast<char*>(text.data());
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(view, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                               &result) &&
           result == TRUE;
  }

  // A command call from a page, as the bridge sends it.
  bool call(const std::string& label, const std::string& id, const std::string& cmd, const Json& args) const {
    return page(label, {{"do", "message"}, {"json", Json{{"id", id}, {"cmd", cmd}, {"args", args.dump()}}.dump()}});
  }

  // The snapshot a page gets from `state_get`, once its document is there.
  std::optional<Json> snapshot(const std::string& label, const std::string& id) const {
    const auto loaded = wait_record([&](const Json& r) { return r["e"] == "document" && r["window"] == label; }, 30s);
    if (!loaded || !call(label, id, "state_get", Json::object())) return std::nullopt;
    const auto a = answer(label, id);
    if (!a || (*a)["ok"] != true) return std::nullopt;
    return Json::parse((*a)["value"].get<std::string>(), nullptr, false);
  }

 private:
  fs::path log_;
  DWORD pid_;
};

}  // namespace harvel::win32test
