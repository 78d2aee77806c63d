#include "platform/fake/fake_files.h"

#include "core/file_io.h"

namespace harvel::fake {

namespace {

std::string name_of(const std::filesystem::path& p) { return path_to_utf8(p.filename()); }

}  // namespace

bool FakeFiles::write_flushed(const std::filesystem::path& path, std::string_view bytes) {
  {
    std::lock_guard lock(mutex_);
    ops_.push_back("write " + name_of(path));
  }
  return unflushed_files().write_flushed(path, bytes);
}

bool FakeFiles::rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  {
    std::lock_guard lock(mutex_);
    ops_.push_back("rename " + name_of(from) + " > " + name_of(to));
    if (failing_.contains(from)) return false;
  }
  return unflushed_files().rename_flushed(from, to);
}

std::vector<FileOp> FakeFiles::ops() {
  std::lock_guard lock(mutex_);
  return ops_;
}

void FakeFiles::clear_ops() {
  std::lock_guard lock(mutex_);
  ops_.clear();
}

void FakeFiles::fail_rename_from(const std::filesystem::path& from) {
  std::lock_guard lock(mutex_);
  failing_.insert(from);
}

}  // namespace harvel::fake
