#include "platform/fake/fake_apps.h"

#include <algorithm>
#include <cstring>

#include "core/text.h"

namespace harvel::fake {

namespace {

std::string path_text(std::u16string_view nul_terminated) {
  if (!nul_terminated.empty() && nul_terminated.back() == u'\0') nul_terminated.remove_suffix(1);
  return text::utf16_to_utf8_lossy(nul_terminated);
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t get_u32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void put_units(std::vector<uint8_t>& out, std::u16string_view units) {
  for (char16_t u : units) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
}

// One value of the fake's block: key length (units), key units, reported
// length, value length (bytes), value bytes.
void put_entry(std::vector<uint8_t>& out, std::u16string_view key, uint32_t reported,
               const std::vector<uint8_t>& value) {
  put_u32(out, static_cast<uint32_t>(key.size()));
  put_units(out, key);
  put_u32(out, reported);
  put_u32(out, static_cast<uint32_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
}

}  // namespace

std::vector<uint8_t> FakeApps::pe_image(uint16_t subsystem) {
  std::vector<uint8_t> head(512, 0);
  head[0] = 'M';
  head[1] = 'Z';
  head[60] = 0x80;  // e_lfanew
  head[0x80] = 'P';
  head[0x81] = 'E';
  head[0x80 + 92] = static_cast<uint8_t>(subsystem & 0xFF);
  head[0x80 + 93] = static_cast<uint8_t>(subsystem >> 8);
  return head;
}

namespace {

class FakeApartment final : public os::ComApartment {
 public:
  FakeApartment(std::mutex& mutex, int& count) : mutex_(mutex), count_(count) {
    std::lock_guard lock(mutex_);
    ++count_;
  }
  ~FakeApartment() override {
    std::lock_guard lock(mutex_);
    --count_;
  }

 private:
  std::mutex& mutex_;
  int& count_;
};

}  // namespace

std::unique_ptr<os::ComApartment> FakeApps::enter_com_apartment() {
  return std::make_unique<FakeApartment>(mutex_, apartments_);
}

int FakeApps::open_apartments() {
  std::lock_guard lock(mutex_);
  return apartments_;
}

int FakeApps::reads_outside_apartment() {
  std::lock_guard lock(mutex_);
  return reads_outside_;
}

std::vector<os::TopLevelWindow> FakeApps::top_level_windows() { return windows; }

std::vector<os::ShellAppItem> FakeApps::applications_folder_items() {
  std::lock_guard lock(mutex_);
  if (apartments_ == 0) ++reads_outside_;
  return folder_items;
}

uint32_t FakeApps::expand_environment_strings(std::u16string_view text_nul, std::span<char16_t> buffer) {
  if (expansion_fails) return 0;
  const std::string in = path_text(text_nul);
  std::string out;
  std::size_t i = 0;
  while (i < in.size()) {
    const std::size_t open = in.find('%', i);
    const std::size_t close = open == std::string::npos ? std::string::npos : in.find('%', open + 1);
    if (close == std::string::npos) {
      out.append(in, i);
      break;
    }
    out.append(in, i, open - i);
    const std::string name = in.substr(open + 1, close - open - 1);
    if (auto it = environment.find(name); it != environment.end()) {
      out.append(it->second);
      i = close + 1;
    } else {
      // As the system does: an unknown name stays, and its closing '%' may
      // open the next reference.
      out.append(in, open, close - open);
      i = close;
    }
  }
  const std::u16string units = text::utf8_to_utf16(out);
  const uint32_t needed = static_cast<uint32_t>(units.size() + 1);
  if (needed <= buffer.size()) {
    std::copy(units.begin(), units.end(), buffer.begin());
    buffer[units.size()] = u'\0';
  }
  return needed;
}

std::optional<std::size_t> FakeApps::read_file_start(std::u16string_view path_nul, std::span<uint8_t> buffer) {
  {
    std::lock_guard lock(mutex_);
    ++file_reads_;
  }
  auto it = files.find(path_text(path_nul));
  if (it == files.end()) return std::nullopt;
  const std::size_t n = std::min(buffer.size(), it->second.size());
  std::copy_n(it->second.begin(), n, buffer.begin());
  return n;
}

std::optional<std::vector<uint8_t>> FakeApps::file_version_info(std::u16string_view path_nul) {
  {
    std::lock_guard lock(mutex_);
    ++version_reads_;
    if (apartments_ == 0) ++reads_outside_;
  }
  auto it = version_infos.find(path_text(path_nul));
  if (it == version_infos.end()) return std::nullopt;
  const FakeVersionInfo& info = it->second;
  std::vector<uint8_t> block;
  if (info.has_translation_table) {
    std::vector<uint8_t> table;
    for (auto [language, code_page] : info.translations) {
      table.push_back(static_cast<uint8_t>(language & 0xFF));
      table.push_back(static_cast<uint8_t>(language >> 8));
      table.push_back(static_cast<uint8_t>(code_page & 0xFF));
      table.push_back(static_cast<uint8_t>(code_page >> 8));
    }
    put_entry(block, u"\\VarFileInfo\\Translation", static_cast<uint32_t>(table.size()), table);
  }
  for (const auto& [key, value] : info.strings) {
    std::vector<uint8_t> bytes;
    put_units(bytes, value);
    put_units(bytes, std::u16string_view(u"\0", 1));
    auto reported = info.reported_lengths.find(key);
    put_entry(block, key,
              reported != info.reported_lengths.end() ? reported->second : static_cast<uint32_t>(value.size() + 1),
              bytes);
  }
  return block;
}

std::optional<os::VersionValue> FakeApps::ver_query_value(std::span<const uint8_t> block,
                                                          std::u16string_view sub_block_nul) {
  std::u16string_view wanted = sub_block_nul;
  if (!wanted.empty() && wanted.back() == u'\0') wanted.remove_suffix(1);
  {
    std::lock_guard lock(mutex_);
    version_queries_.push_back(text::utf16_to_utf8_lossy(wanted));
  }
  std::size_t at = 0;
  while (at + 4 <= block.size()) {
    const uint32_t key_units = get_u32(block.data() + at);
    at += 4;
    std::u16string key(key_units, u'\0');
    for (uint32_t i = 0; i < key_units; ++i) {
      key[i] = static_cast<char16_t>(block[at + 2 * i] | (block[at + 2 * i + 1] << 8));
    }
    at += 2 * std::size_t{key_units};
    const uint32_t reported = get_u32(block.data() + at);
    const uint32_t size = get_u32(block.data() + at + 4);
    at += 8;
    if (key == wanted) return os::VersionValue{block.data() + at, reported};
    at += size;
  }
  return std::nullopt;
}

std::optional<os::IconBitmap> FakeApps::shell_icon(std::u16string_view path_nul) {
  {
    std::lock_guard lock(mutex_);
    ++icon_reads_;
    if (apartments_ == 0) ++reads_outside_;
  }
  auto it = icons.find(path_text(path_nul));
  if (it == icons.end()) return std::nullopt;
  return it->second;
}

std::optional<std::u16string> FakeApps::open_file_dialog(std::u16string_view filter_name,
                                                         std::u16string_view pattern) {
  std::string filter = text::utf16_to_utf8_lossy(filter_name);
  filter.push_back('|');
  filter.append(text::utf16_to_utf8_lossy(pattern));
  {
    std::lock_guard lock(mutex_);
    last_filter_ = std::move(filter);
  }
  return dialog_answer;
}

std::vector<std::string> FakeApps::version_queries() {
  std::lock_guard lock(mutex_);
  return version_queries_;
}

int FakeApps::version_info_reads() {
  std::lock_guard lock(mutex_);
  return version_reads_;
}

int FakeApps::icon_reads() {
  std::lock_guard lock(mutex_);
  return icon_reads_;
}

int FakeApps::file_reads() {
  std::lock_guard lock(mutex_);
  return file_reads_;
}

std::optional<std::string> FakeApps::last_dialog_filter() {
  std::lock_guard lock(mutex_);
  return last_filter_;
}

}  // namespace harvel::fake
