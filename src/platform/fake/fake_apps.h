// A scriptable fake of the application-list calls: top-level windows, the
// applications folder, environment variables, file starts, version
// resources, shell icons and the open-file dialog. Tests say what the system
// holds and read which calls the program made. Paths are matched as given
// (UTF-8, without the terminating 0).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace harvel::fake {

// A file's version resource: its translation table and its string values by
// sub-block ("\StringFileInfo\040904b0\FileDescription" -> text units). A
// value's reported length may differ from its units (to test the reader).
struct FakeVersionInfo {
  std::vector<std::pair<uint16_t, uint16_t>> translations;  // (language, code page)
  bool has_translation_table = true;
  std::map<std::u16string, std::u16string> strings;
  std::map<std::u16string, uint32_t> reported_lengths;  // overrides the length in units
};

class FakeApps final : public os::Apps {
 public:
  std::unique_ptr<os::ComApartment> enter_com_apartment() override;
  std::vector<os::TopLevelWindow> top_level_windows() override;
  std::vector<os::ShellAppItem> applications_folder_items() override;
  uint32_t expand_environment_strings(std::u16string_view text_nul, std::span<char16_t> buffer) override;
  std::optional<std::size_t> read_file_start(std::u16string_view path_nul, std::span<uint8_t> buffer) override;
  std::optional<std::vector<uint8_t>> file_version_info(std::u16string_view path_nul) override;
  std::optional<os::VersionValue> ver_query_value(std::span<const uint8_t> block,
                                                  std::u16string_view sub_block_nul) override;
  std::optional<os::IconBitmap> shell_icon(std::u16string_view path_nul) override;
  std::optional<std::u16string> open_file_dialog(std::u16string_view filter_name,
                                                 std::u16string_view pattern) override;
  bool programs_are_pe_files() override { return pe_files; }

  // ---- what the system holds ----
  std::vector<os::TopLevelWindow> windows;
  std::vector<os::ShellAppItem> folder_items;
  // %NAME% -> value for expand_environment_strings; unset names stay as written.
  std::map<std::string, std::string> environment = {{"SystemRoot", "C:\\Windows"}};
  // Fails every expansion (the call returns 0).
  bool expansion_fails = false;
  // File starts by path; a missing path cannot be opened.
  std::map<std::string, std::vector<uint8_t>> files;
  std::map<std::string, FakeVersionInfo> version_infos;
  std::map<std::string, os::IconBitmap> icons;
  // The dialog's answer: none is a cancel.
  std::optional<std::u16string> dialog_answer;
  bool pe_files = true;

  // A file start that passes the PE check with `subsystem`.
  static std::vector<uint8_t> pe_image(uint16_t subsystem);
  // A program file of the GUI subsystem at `path`.
  void add_gui_exe(const std::string& path) { files[path] = pe_image(2); }

  // ---- what the program asked ----
  // Sub-blocks queried, in order, as UTF-8 without the terminating 0.
  std::vector<std::string> version_queries();
  int version_info_reads();
  int icon_reads();
  int file_reads();
  // Apartments entered and not yet left, and the folder, version-resource
  // and icon reads made while none was open.
  int open_apartments();
  int reads_outside_apartment();
  // The filter of the last dialog ("name|pattern").
  std::optional<std::string> last_dialog_filter();

 private:
  std::mutex mutex_;
  std::vector<std::string> version_queries_;
  int version_reads_ = 0;
  int icon_reads_ = 0;
  int file_reads_ = 0;
  int apartments_ = 0;
  int reads_outside_ = 0;
  std::optional<std::string> last_filter_;
};

}  // namespace harvel::fake
