#include "core/file_io.h"

#include <fstream>
#include <system_error>
#include <type_traits>

#include "core/text.h"

namespace harvel {

namespace fs = std::filesystem;

namespace {

// Templates on the path's own string type, so that only the branch of this
// system is compiled: Windows paths hold UTF-16, the others bytes.
template <typename Native = fs::path::string_type>
fs::path path_of_utf8(std::string_view utf8) {
  if constexpr (std::is_same_v<typename Native::value_type, wchar_t>) {
    static_assert(sizeof(typename Native::value_type) == sizeof(char16_t));
    const std::u16string units = text::utf8_to_utf16(utf8);
    return fs::path(Native(units.begin(), units.end()));
  } else {
    return fs::path(Native(utf8));
  }
}

template <typename Native = fs::path::string_type>
std::string utf8_of_path(const Native& native) {
  if constexpr (std::is_same_v<typename Native::value_type, wchar_t>) {
    const auto* units = reinterpret_cast<const char16_t*>(native.data());
    return text::utf16_to_utf8_lossy(std::u16string_view(units, native.size()));
  } else {
    return native;
  }
}

}  // namespace

fs::path path_from_utf8(std::string_view utf8) { return path_of_utf8(utf8); }

std::string path_to_utf8(const fs::path& path) { return utf8_of_path(path.native()); }

std::optional<std::string> read_file_prefix(const fs::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

namespace {

class UnflushedFiles final : public os::Files {
 public:
  bool create_flushed(const fs::path& path, std::string_view bytes) override {
    // The standard library cannot create exclusively; this is the stand-in
    // when the platform has no writes of its own (tests of the portable code).
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() != fs::file_type::not_found) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
  }
  bool rename_flushed(const fs::path& from, const fs::path& to) override {
    std::error_code ec;
    fs::rename(from, to, ec);
    return !ec;
  }
  bool link_flushed(const fs::path& from, const fs::path& to) override {
    std::error_code ec;
    if (fs::symlink_status(to, ec).type() != fs::file_type::not_found) return false;
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to, ec);
    return !ec;
  }
};

}  // namespace

os::Files& unflushed_files() {
  static UnflushedFiles files;
  return files;
}

os::Files& files() {
  os::Files* system = os::platform().files;
  return system ? *system : unflushed_files();
}

namespace {

// Clears the way for a file of ours: a leftover file or a link in its place
// goes (a link itself, never what it points to); a folder stays, and the
// creation then fails.
void remove_leftover(const fs::path& path) {
  std::error_code ec;
  const fs::file_type type = fs::symlink_status(path, ec).type();
  if (type != fs::file_type::not_found && type != fs::file_type::directory) fs::remove(path, ec);
}

}  // namespace

bool replace_file(const fs::path& target, const fs::path& temp, std::string_view bytes,
                  const std::optional<fs::path>& keep_old_as) {
  if (target.empty()) return false;  // no data folder
  std::error_code ec;
  if (const fs::path folder = target.parent_path(); !folder.empty()) {
    fs::create_directories(folder, ec);
    if (ec) return false;
  }
  os::Files& f = files();
  remove_leftover(temp);
  const bool created = f.create_flushed(temp, bytes);
  bool ok = created;
  // The old file is kept under a second name before the new one replaces it,
  // so that at every moment `target` is there, old or new.
  if (ok && keep_old_as && fs::exists(fs::symlink_status(target, ec))) {
    remove_leftover(*keep_old_as);
    ok = f.link_flushed(target, *keep_old_as);
  }
  if (ok) ok = f.rename_flushed(temp, target);
  // Only a file this call made goes.
  if (!ok && created) fs::remove(temp, ec);
  return ok;
}

}  // namespace harvel
