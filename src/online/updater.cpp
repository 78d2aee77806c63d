#include "online/updater.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/app.h"
#include "core/file_io.h"
#include "core/notice.h"
#include "core/services.h"
#include "core/state.h"
#include "online/http_client.h"
#include "online/remote_disable.h"
#include "online/signing.h"
#include "online/update_record.h"

namespace harvel {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

UpdaterFlags& updater_flags() {
  static UpdaterFlags flags;
  return flags;
}

void reset_updater_flags() {
  updater_flags().busy = false;
  updater_flags().install_started = false;
}

void run_update_check_once(App& app) {
  enter_background_priority();
  (void)run_update_check_and_download(app, true, load_trusted_public_key());
}

namespace {

struct RunningChecks {
  std::mutex mutex;
  std::condition_variable ended;
  int count = 0;
};

RunningChecks& running_checks() {
  static RunningChecks r;
  return r;
}

}  // namespace

void spawn_update_check_once(App& app) {
  RunningChecks& r = running_checks();
  {
    std::lock_guard lock(r.mutex);
    ++r.count;
  }
  try {
    std::thread([&app, &r] {
      run_update_check_once(app);
      std::lock_guard lock(r.mutex);
      --r.count;
      r.ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread, no check; the next automatic one still comes.
    std::lock_guard lock(r.mutex);
    --r.count;
  }
}

void finish_update_threads() {
  RunningChecks& r = running_checks();
  std::unique_lock lock(r.mutex);
  r.ended.wait(lock, [&] { return r.count == 0; });
}

void clear_cancelled_version(App& app) {
  app.ctx().update.with([](UpdateRecord& r) { r.cancelled_version.reset(); });
}

void cancel_download(App& app) { app.ctx().cancel_download = true; }

void run_update_check_loop(App& app) {
  enter_background_priority();
  std::this_thread::sleep_for(20s);
  for (;;) {
    const bool day = run_update_check_and_download(app, false, load_trusted_public_key());
    std::this_thread::sleep_for(day ? 86400s : 1800s);
  }
}

// ---- record helpers -----------------------------------------------------------

void set_update_phase(App& app, UpdatePhase phase, UpdateError error) {
  app.ctx().update.with([&](UpdateRecord& r) {
    r.phase = phase;
    r.error = error;
  });
  emit_state_changed(app);
}

void show_update_notice(App& app) {
  const bool portable = portable_flag();
  const std::optional<ToastData> notice = app.ctx().update.with([&](UpdateRecord& r) -> std::optional<ToastData> {
    if (!r.latest) return std::nullopt;
    const std::string& v = *r.latest;
    std::string key;
    ToastData t;
    if (r.phase == UpdatePhase::Ready) {
      key = "ready:";
      key.append(v);
      t.title = "Yangilash tayyor";
      t.body = "Harvel ";
      t.body.append(v).append(" o\u2018rnatishga tayyor. Sozlamalar yoki tray orqali o\u2018rnating.");
      t.kind = ToastKind::Ok;
    } else if (r.phase == UpdatePhase::Available && portable) {
      key = "avail:";
      key.append(v);
      t.title = "Yangi versiya bor";
      t.body = "Harvel ";
      t.body.append(v).append(" chiqdi. Yangisini saytdan yuklab oling.");
      t.kind = ToastKind::Info;
    } else {
      return std::nullopt;
    }
    if (r.notice_key == key) return std::nullopt;
    r.notice_key = key;
    return t;
  });
  if (notice) post_notice(app, *notice);
}

// ---- files --------------------------------------------------------------------

fs::path installer_folder() {
  // Only the folder the system names: no stand-in that other users could
  // write to (a shared temporary folder, the working folder).
  os::Folders* folders = os::platform().folders;
  const std::optional<std::string> temp = folders ? folders->temp_dir() : std::nullopt;
  return temp ? path_from_utf8(*temp) : fs::path();
}

fs::path installer_path(std::string_view version) {
  const fs::path folder = installer_folder();
  if (folder.empty()) return {};
  std::string name = "Harvel-Setup-";
  name.append(version).append(".exe");
  return folder / path_from_utf8(name);
}

void clean_downloaded_installers(const std::optional<fs::path>& keep) {
  const fs::path folder = installer_folder();
  if (folder.empty()) return;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return;
  for (const fs::directory_entry& entry : it) {
    const std::string name = path_to_utf8(entry.path().filename());
    if (!name.starts_with("Harvel-Setup-")) continue;
    if (!name.ends_with(".exe") && !name.ends_with(".exe.part")) continue;
    if (keep && entry.path() == *keep) continue;
    std::error_code rm;
    fs::remove(entry.path(), rm);
  }
}

std::optional<std::string> sha256_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Sha256 hash;
  std::vector<char> buffer(kDownloadPiece);
  for (;;) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize n = in.gcount();
    if (n > 0) hash.update(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    if (in.eof()) break;
    if (!in) return std::nullopt;
  }
  return hash.hex_digest();
}

std::optional<std::string> sha256_held(os::HeldProgram& file) {
  Sha256 hash;
  std::vector<uint8_t> buffer(kDownloadPiece);
  for (;;) {
    const std::optional<std::size_t> n = file.read(buffer);
    if (!n) return std::nullopt;
    if (*n == 0) return hash.hex_digest();
    hash.update(std::span<const uint8_t>(buffer.data(), *n));
  }
}

bool next_download_candidate(const std::optional<std::string>& url, std::string_view site_url) {
  if (!url) return false;
  if (url->starts_with("https://")) return true;
  std::string under(site_url);
  under.push_back('/');
  return url->starts_with(under);
}

std::optional<uint64_t> parse_content_length(std::string_view value) {
  if (value.starts_with('+')) value.remove_prefix(1);
  if (value.empty()) return std::nullopt;
  uint64_t n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (n > (UINT64_MAX - d) / 10) return std::nullopt;
    n = n * 10 + d;
  }
  return n;
}

fs::path pending_update_file_path(App& app) {
  const fs::path& settings = app.ctx().settings_path;
  if (settings.empty()) return {};  // no data folder
  return settings.parent_path() / kPendingUpdateFileName;
}

namespace {

std::string ascii_lower_hex(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_sha256_text(const std::optional<std::string>& s) {
  if (!s || s->size() != 64) return false;
  return std::all_of(s->begin(), s->end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

fs::path part_path(const fs::path& final_path) {
  fs::path p = final_path;
  p.replace_extension(".exe.part");
  return p;
}

enum class DownloadResult { Ok, Cancelled, Integrity, Failed };

// One candidate: streams the body into the part file, hashing as it goes.
DownloadResult download_candidate(App& app, const std::string& url, const fs::path& part,
                                  const std::string& expected, os::Instant deadline) {
  const HttpAgent agent = download_http_agent();
  auto response = http_get(agent, url, HttpDeadline::None);
  if (!response) return DownloadResult::Failed;
  std::optional<uint64_t> length;
  if (const auto header = find_header(*response, "content-length")) length = parse_content_length(*header);
  if (length && *length > kMaxInstallerBytes) return DownloadResult::Failed;

  // Made anew, never through a file or link left in its place.
  std::error_code ec;
  if (fs::is_symlink(part, ec) || fs::is_regular_file(part, ec)) fs::remove(part, ec);
  if (!files().create_flushed(part, "")) return DownloadResult::Failed;
  std::ofstream out(part, std::ios::binary | std::ios::in | std::ios::out);
  if (!out) return DownloadResult::Failed;
  Sha256 hash;
  std::vector<uint8_t> buffer(kDownloadPiece);
  uint64_t total = 0;
  uint32_t last_pct = app.ctx().update.with([](const UpdateRecord& r) { return r.pct; });
  os::Clock* clock = os::platform().clock;
  for (;;) {
    if (app.ctx().cancel_download) return DownloadResult::Cancelled;
    if (clock && clock->now() >= deadline) return DownloadResult::Failed;
    const auto n = response->read(buffer);
    if (!n) return DownloadResult::Failed;
    if (*n == 0) {
      out.close();
      if (!out) return DownloadResult::Failed;
      return hash.hex_digest() == expected ? DownloadResult::Ok : DownloadResult::Integrity;
    }
    hash.update(std::span<const uint8_t>(buffer.data(), *n));
    out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(*n));
    if (!out) return DownloadResult::Failed;
    total += *n;
    if (total > kMaxInstallerBytes) return DownloadResult::Failed;
    if (length && *length > 0) {
      const uint32_t pct = static_cast<uint32_t>(std::min<uint64_t>(total * 100 / *length, 100));
      if (pct != last_pct) {
        last_pct = pct;
        app.ctx().update.with([&](UpdateRecord& r) { r.pct = pct; });
        emit_state_changed(app);
      }
    }
  }
}

// The run itself; the caller holds the busy flag.
bool check_and_download(App& app, bool interactive, const std::optional<PublicKey>& key) {
  Ctx& ctx = app.ctx();
  const std::string site = ctx.settings.with([](const Settings& s) { return s.site_url; });

  if (interactive) {
    const bool changed = ctx.update.with([](UpdateRecord& r) {
      if (r.phase != UpdatePhase::Idle && r.phase != UpdatePhase::Error) return false;
      r.phase = UpdatePhase::Checking;
      r.error = UpdateError::None;
      return true;
    });
    if (changed) emit_state_changed(app);
  }

  const std::optional<Manifest> manifest = fetch_manifest(site);
  if (!manifest) {
    ctx.update.with([](UpdateRecord& r) {
      r.checked_at = now_unix_millis();
      if (r.phase == UpdatePhase::Checking) {
        r.phase = UpdatePhase::Error;
        r.error = UpdateError::Network;
      }
    });
    emit_state_changed(app);
    return false;
  }

  std::optional<RemoteDisableOrder> order;
  if (manifest->kill_switch) order = RemoteDisableOrder{manifest->kill_switch->enabled, manifest->kill_switch->message};
  apply_remote_disable(app, order);

  const bool outdated = manifest->min_version && is_valid_version(*manifest->min_version) &&
                        is_newer_than_current_version(*manifest->min_version);
  const std::optional<std::string>& version = manifest->version;
  if (!manifest->available || !version || !is_valid_version(*version) || !is_newer_than_current_version(*version)) {
    clean_downloaded_installers(std::nullopt);
    ctx.update.with([&](UpdateRecord& r) {
      r.checked_at = now_unix_millis();
      r.outdated = outdated;
      r.phase = UpdatePhase::Idle;
      r.error = UpdateError::None;
      r.latest.reset();
      r.installer.reset();
      r.pct = 0;
    });
    emit_state_changed(app);
    return true;
  }

  ctx.update.with([&](UpdateRecord& r) {
    if (r.latest != *version) {
      r.installer.reset();
      r.pct = 0;
    }
    r.checked_at = now_unix_millis();
    r.outdated = outdated;
    r.latest = *version;
    r.size_mb = manifest->size_mb;
    r.portable_url = manifest->portable_url;
    r.error = UpdateError::None;
    if (r.phase == UpdatePhase::Checking || r.phase == UpdatePhase::Ready) r.phase = UpdatePhase::Available;
  });
  emit_state_changed(app);

  if (portable_flag() || !key) {
    set_update_phase(app, UpdatePhase::Available, UpdateError::None);
    show_update_notice(app);
    return true;
  }

  // The gate: a well-formed hash and a signed update line.
  bool gate = is_sha256_text(manifest->sha256) && manifest->signature;
  std::string expected;
  if (gate) {
    expected = ascii_lower_hex(*manifest->sha256);
    const auto sig = decode_base64(*manifest->signature);
    gate = sig && sig->size() == 64 &&
           verify_signed_message_with_key(key, update_signed_line(*version, expected), *manifest->signature);
  }
  if (!gate) {
    ctx.update.with([](UpdateRecord& r) {
      r.phase = UpdatePhase::Error;
      r.error = UpdateError::Integrity;
      r.installer.reset();
    });
    emit_state_changed(app);
    return true;
  }

  const fs::path final_path = installer_path(*version);
  if (final_path.empty()) {
    // Nowhere to download to: as when no candidate is left.
    set_update_phase(app, interactive ? UpdatePhase::Error : UpdatePhase::Available,
                     interactive ? UpdateError::Network : UpdateError::None);
    return false;
  }
  std::error_code ec;
  if (fs::exists(final_path, ec) && sha256_file(final_path) == expected) {
    clean_downloaded_installers(final_path);
    ctx.update.with([&](UpdateRecord& r) {
      r.phase = UpdatePhase::Ready;
      r.error = UpdateError::None;
      r.pct = 100;
      r.installer = InstallerFile{final_path, expected};
    });
    emit_state_changed(app);
    show_update_notice(app);
    return true;
  }

  const bool cancelled = ctx.update.with([&](const UpdateRecord& r) { return r.cancelled_version == *version; });
  if (cancelled) {
    set_update_phase(app, UpdatePhase::Available, UpdateError::None);
    return true;
  }

  std::vector<std::string> candidates;
  for (const auto* url : {&manifest->url, &manifest->mirror_url}) {
    if (next_download_candidate(*url, site)) candidates.push_back(**url);
  }

  ctx.cancel_download = false;
  ctx.update.with([](UpdateRecord& r) {
    r.pct = 0;
    r.phase = UpdatePhase::Downloading;
    r.error = UpdateError::None;
  });
  emit_state_changed(app);
  os::Clock* clock = os::platform().clock;
  const os::Instant deadline = (clock ? clock->now() : os::Instant{}) + 900s;
  const fs::path part = part_path(final_path);

  DownloadResult last = DownloadResult::Failed;
  for (const std::string& url : candidates) {
    last = download_candidate(app, url, part, expected, deadline);
    if (last == DownloadResult::Ok) {
      std::error_code rm;
      fs::remove(final_path, rm);
      std::error_code mv;
      fs::rename(part, final_path, mv);
      if (mv) {
        last = DownloadResult::Failed;
        continue;
      }
      clean_downloaded_installers(final_path);
      ctx.update.with([&](UpdateRecord& r) {
        r.phase = UpdatePhase::Ready;
        r.pct = 100;
        r.installer = InstallerFile{final_path, expected};
      });
      emit_state_changed(app);
      show_update_notice(app);
      return true;
    }
    if (last == DownloadResult::Cancelled) {
      std::error_code rm;
      fs::remove(part, rm);
      ctx.update.with([&](UpdateRecord& r) {
        r.phase = UpdatePhase::Available;
        r.pct = 0;
        r.cancelled_version = *version;
      });
      emit_state_changed(app);
      return true;
    }
  }

  std::error_code rm;
  fs::remove(part, rm);
  if (last == DownloadResult::Integrity) {
    set_update_phase(app, UpdatePhase::Error, UpdateError::Integrity);
    return true;
  }
  if (interactive) {
    set_update_phase(app, UpdatePhase::Error, UpdateError::Network);
  } else {
    set_update_phase(app, UpdatePhase::Available, UpdateError::None);
  }
  return false;
}

}  // namespace

bool run_update_check_and_download(App& app, bool interactive, const std::optional<PublicKey>& key) {
  if (updater_flags().busy.exchange(true)) return false;
  bool result = false;
  try {
    result = check_and_download(app, interactive, key);
  } catch (...) {
    // A file-system or allocation error ends the run; the loop retries later.
    result = false;
  }
  updater_flags().busy = false;
  return result;
}

void run_delayed_exit(App&) {
  std::this_thread::sleep_for(600ms);
  os::AppLoop* loop = os::platform().app_loop;
  if (!loop || !loop->exit(0)) std::_Exit(0);
}

int install_downloaded_update(App& app) { return install_downloaded_update_with_key(app, load_trusted_public_key()); }

int install_downloaded_update_with_key(App& app, const std::optional<PublicKey>& key) {
  Ctx& ctx = app.ctx();
  const auto [installer, phase] = ctx.update.with([](const UpdateRecord& r) { return std::pair(r.installer, r.phase); });
  if (!installer || phase != UpdatePhase::Ready) return kInstallNothing;
  if (portable_flag() || !key) return kInstallNothing;

  // Held from this check until it has started: the file checked is the file
  // started, not whatever its name holds by then.
  os::Shell* shell = os::platform().shell;
  std::unique_ptr<os::HeldProgram> held = shell ? shell->hold_program(path_to_utf8(installer->path)) : nullptr;
  if (!held || sha256_held(*held) != installer->sha256) {
    held.reset();
    std::error_code rm;
    fs::remove(installer->path, rm);
    ctx.update.with([](UpdateRecord& r) {
      r.phase = UpdatePhase::Error;
      r.error = UpdateError::Integrity;
      r.installer.reset();
    });
    emit_state_changed(app);
    return kInstallIntegrity;
  }

  if (updater_flags().install_started.exchange(true)) return kInstallStarted;

  const fs::path pending = pending_update_file_path(app);
  ctx.update.with([&](const UpdateRecord& r) {
    fs::path temp = pending;
    temp += ".tmp";
    if (r.latest) (void)replace_file(pending, temp, *r.latest);
  });

  shell->spawn_held_program(std::move(held), {"/UPDATE", "/S", "/R"});

  ctx.quitting = true;
  try {
    std::thread([&app] { run_delayed_exit(app); }).detach();
  } catch (const std::system_error&) {
    run_delayed_exit(app);
  }
  return kInstallStarted;
}

}  // namespace harvel

// ---- versions and the result notice --------------------------------------------

namespace harvel {

std::vector<uint32_t> parse_version_parts(std::string_view text) {
  std::vector<uint32_t> parts;
  uint32_t value = 0;
  for (char c : text) {
    if (c == '.') {
      parts.push_back(value);
      value = 0;
    } else {
      value = value * 10 + static_cast<uint32_t>(c - '0');
    }
  }
  parts.push_back(value);
  return parts;
}

bool is_valid_version(std::string_view text) {
  if (text.empty() || text.size() > 32) return false;
  std::size_t part = 0;
  for (char c : text) {
    if (c == '.') {
      if (part == 0) return false;
      part = 0;
    } else if (c >= '0' && c <= '9' && part < 9) {
      ++part;
    } else {
      return false;
    }
  }
  return part > 0;
}

bool is_newer_than_current_version(std::string_view version) {
  const std::vector<uint32_t> a = parse_version_parts(version);
  const std::vector<uint32_t> b = parse_version_parts(kRunningVersion);
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const uint32_t x = i < a.size() ? a[i] : 0;
    const uint32_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x > y;
  }
  return false;
}

void show_update_result_notice(App& app, bool newer) {
  std::this_thread::sleep_for(std::chrono::seconds(3));
  if (newer) {
    post_notice(app, "O\u2018rnatish muvaffaqiyatsiz",
                "Yangilanish o\u2018rnatilmadi. Oldingi versiya saqlandi, Harvel avvalgidek ishlayapti.",
                ToastKind::Error);
  } else {
    post_notice(app, "Yangilanish o\u2018rnatildi", "Harvel yangilandi va ishlayapti.", ToastKind::Ok);
  }
}

}  // namespace harvel
