// The Windows calls behind the application lists: top-level windows, the
// applications shell folder, environment expansion, file starts, version
// resources, shell icons and the open-file dialog.
#pragma once

#include "platform/os.h"

namespace harvel::win32 {

class Win32Apps final : public os::Apps {
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
};

}  // namespace harvel::win32
