// The folders and file writes of the fake system. The folders are what a
// test names; the writes are done on the real disk (tests read the files
// back), with every flushed write and rename recorded in order, and renames
// that a test makes fail.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace harvel::fake {

// Folders as UTF-8 texts, the way the system layers hand them over. A
// folder is private unless a test names it as someone else's; private
// folders are made on the real disk.
class FakeFolders final : public os::Folders {
 public:
  std::optional<std::string> roaming_app_data() override { return roaming; }
  std::optional<std::string> temp_dir() override { return temp; }
  bool claim_private_folder(const std::string& path) override;
  std::optional<std::string> make_private_folder(const std::string& parent, std::string_view prefix) override;

  std::optional<std::string> roaming;  // none: the system cannot name it
  std::optional<std::string> temp;     // none: the system cannot name it
  std::set<std::string> foreign;       // folders another user holds
  int made = 0;                        // private folders made so far
};

// "create <file name>", "rename <from name> > <to name>" or
// "link <from name> > <to name>" (file names only).
using FileOp = std::string;

class FakeFiles final : public os::Files {
 public:
  bool create_flushed(const std::filesystem::path& path, std::string_view bytes) override;
  bool rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) override;

  std::vector<FileOp> ops();
  void clear_ops();
  // Renames and links from this path fail (and are recorded all the same).
  void fail_from(const std::filesystem::path& from);
  // The process ends after `count` more operations: later ones are recorded
  // but fail and change nothing, as if it had been killed there.
  void crash_after(std::size_t count);

 private:
  // Records the operation; false when it must fail.
  bool record(FileOp op, const std::filesystem::path& from);

  std::mutex mutex_;
  std::vector<FileOp> ops_;
  std::set<std::filesystem::path> failing_;
  std::optional<std::size_t> ops_left_;
};

}  // namespace harvel::fake
