#include "platform/fake/fake_files.h"

#include "core/file_io.h"

namespace harvel::fake {

namespace {

std::string name_of(const std::filesystem::path& p) { return path_to_utf8(p.filename()); }

}  // namespace

bool FakeFolders::claim_private_folder(const std::string& path) {
  if (foreign.contains(path)) return false;
  std::error_code ec;
  std::filesystem::create_directories(path_from_utf8(path), ec);
  return std::filesystem::is_directory(path_from_utf8(path), ec);
}

std::optional<std::string> FakeFolders::make_private_folder(const std::string& parent, std::string_view prefix) {
  std::string path = path_to_utf8(path_from_utf8(parent) / path_from_utf8(std::string(prefix) + std::to_string(++made)));
  std::error_code ec;
  if (!std::filesystem::create_directories(path_from_utf8(path), ec)) return std::nullopt;
  return path;
}

bool FakeFiles::record(FileOp op, const std::filesystem::path& from) {
  std::lock_guard lock(mutex_);
  ops_.push_back(std::move(op));
  if (ops_left_) {
    if (*ops_left_ == 0) return false;
    --*ops_left_;
  }
  return !failing_.contains(from);
}

bool FakeFiles::create_flushed(const std::filesystem::path& path, std::string_view bytes) {
  if (!record("create " + name_of(path), {})) return false;
  return unflushed_files().create_flushed(path, bytes);
}

bool FakeFiles::rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!record("rename " + name_of(from) + " > " + name_of(to), from)) return false;
  return unflushed_files().rename_flushed(from, to);
}

bool FakeFiles::link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!record("link " + name_of(from) + " > " + name_of(to), from)) return false;
  return unflushed_files().link_flushed(from, to);
}

std::vector<FileOp> FakeFiles::ops() {
  std::lock_guard lock(mutex_);
  return ops_;
}

void FakeFiles::clear_ops() {
  std::lock_guard lock(mutex_);
  ops_.clear();
}

void FakeFiles::fail_from(const std::filesystem::path& from) {
  std::lock_guard lock(mutex_);
  failing_.insert(from);
}

void FakeFiles::crash_after(std::size_t count) {
  std::lock_guard lock(mutex_);
  ops_left_ = count;
}

}  // namespace harvel::fake
