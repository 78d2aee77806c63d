#include "online/update_record.h"

#include <atomic>
#include <system_error>

namespace harvel {

namespace {
std::atomic<bool> g_portable{true};
}

void init_portable_flag(const std::optional<std::filesystem::path>& executable) {
  bool portable = true;
  if (executable && executable->has_parent_path()) {
    std::error_code ec;
    portable = !std::filesystem::exists(executable->parent_path() / "uninstall.exe", ec);
  }
  g_portable.store(portable, std::memory_order_relaxed);
}

bool portable_flag() { return g_portable.load(std::memory_order_relaxed); }

UpdateInfo update_info_fields(const UpdateRecord& r) {
  UpdateInfo info;
  info.phase = r.phase;
  info.latest = r.latest;
  info.size_mb = r.size_mb;
  info.pct = r.pct;
  info.checked_at = r.checked_at;
  info.outdated = r.outdated;
  info.portable_url = r.portable_url;
  info.error = r.error;
  return info;
}

}  // namespace harvel
