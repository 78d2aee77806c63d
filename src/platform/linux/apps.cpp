// The application lists on the Linux host. In place of the Windows
// applications folder: the desktop entries under the XDG data folders
// (Name and Exec); in place of EnumWindows: the window manager's client list;
// in place of shell icons: the entry's icon from the icon theme; in place of
// the open-file dialog: the GTK file chooser. Linux programs carry no
// version resources.
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "core/text.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"

namespace harvel::linux_host {

namespace {

constexpr std::size_t kMaxEntryBytes = 1 << 20;
constexpr std::string_view kFallbackIcon = "application-x-executable";

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return std::nullopt;
  return std::string(v);
}

std::string path_text(std::u16string_view nul_terminated) {
  if (!nul_terminated.empty() && nul_terminated.back() == u'\0') nul_terminated.remove_suffix(1);
  return text::utf16_to_utf8_lossy(nul_terminated);
}

std::string_view trim_blanks(std::string_view s) {
  const std::size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const std::size_t end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

// The string escapes of a desktop-entry value undone.
std::string unescape_value(std::string_view v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out.push_back(v[i]);
      continue;
    }
    switch (v[i + 1]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default:  // not a string escape: left for the Exec quoting rules
        out.push_back('\\');
        out.push_back(v[i + 1]);
    }
    ++i;
  }
  return out;
}

bool is_true(std::string_view v) { return v == "true" || v == "1"; }

// The localised keys to look for, best first, for a locale
// lang_COUNTRY.ENCODING@MODIFIER.
std::vector<std::string> locale_keys(std::string_view locale) {
  std::string_view modifier;
  if (const std::size_t at = locale.find('@'); at != std::string_view::npos) {
    modifier = locale.substr(at + 1);
    locale = locale.substr(0, at);
  }
  if (const std::size_t dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
  std::string_view lang = locale;
  std::string_view country;
  if (const std::size_t us = locale.find('_'); us != std::string_view::npos) {
    lang = locale.substr(0, us);
    country = locale.substr(us + 1);
  }
  std::vector<std::string> keys;
  if (lang.empty() || lang == "C" || lang == "POSIX") return keys;
  const std::string lc = std::string(lang) + (country.empty() ? "" : "_" + std::string(country));
  if (!country.empty() && !modifier.empty()) keys.push_back(lc + "@" + std::string(modifier));
  if (!country.empty()) keys.push_back(lc);
  if (!modifier.empty()) keys.push_back(std::string(lang) + "@" + std::string(modifier));
  keys.emplace_back(lang);
  return keys;
}

bool is_executable_file(const std::filesystem::path& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

// A program name as a shell would find it: a name with '/' as it is, else
// the first executable file of that name on $PATH.
std::optional<std::filesystem::path> find_program(std::string_view program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string_view::npos) {
    const std::filesystem::path p(program);
    if (!is_executable_file(p)) return std::nullopt;
    return p;
  }
  const std::string path = env("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(':', start);
    const std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty()) {
      const std::filesystem::path candidate = std::filesystem::path(dir) / std::string(program);
      if (is_executable_file(candidate)) return candidate;
    }
    if (end == std::string::npos) return std::nullopt;
    start = end + 1;
  }
}

std::string read_small_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  std::string data(kMaxEntryBytes, '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));
  return data;
}

// A loaded icon's pixels as B, G, R, A rows; none for a format it does not
// expect.
std::optional<os::IconBitmap> bitmap_of(GdkPixbuf* pixbuf) {
  if (pixbuf == nullptr || gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) {
    return std::nullopt;
  }
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf) != FALSE;
  if (width <= 0 || height <= 0 || channels != (alpha ? 4 : 3)) return std::nullopt;
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
  os::IconBitmap out;
  out.width = static_cast<uint32_t>(width);
  out.height = static_cast<uint32_t>(height);
  out.bgra.resize(std::size_t{out.width} * out.height * 4);
  for (int y = 0; y < height; ++y) {
    const guint8* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const guint8* px = row + x * channels;
      uint8_t* o = out.bgra.data() + (static_cast<std::size_t>(y) * width + x) * 4;
      o[0] = px[2];
      o[1] = px[1];
      o[2] = px[0];
      o[3] = alpha ? px[3] : 0;  // none anywhere: the reader makes it opaque
    }
  }
  return out;
}

GdkPixbuf* load_icon(const std::string& icon) {
  constexpr int kSize = 32;  // the large shell icon's size
  if (icon.starts_with('/')) return gdk_pixbuf_new_from_file_at_size(icon.c_str(), kSize, kSize, nullptr);
  std::string name = icon;
  // A name written with its file extension still names a theme icon.
  for (std::string_view ext : {".png", ".svg", ".xpm"}) {
    if (name.size() > ext.size() && name.ends_with(ext)) name.resize(name.size() - ext.size());
  }
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  if (theme == nullptr) return nullptr;
  return gtk_icon_theme_load_icon(theme, name.c_str(), kSize, GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
}

gboolean is_program_choice(const GtkFileFilterInfo* info, gpointer) {
  return info->filename != nullptr && is_executable_file(info->filename);
}

std::string without_mnemonic(const char* label) {
  std::string out;
  for (const char* p = label; *p; ++p) {
    if (*p != '_') out.push_back(*p);
  }
  return out;
}

}  // namespace

// ---- desktop entries --------------------------------------------------------

std::string messages_locale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto v = env(name)) return *v;
  }
  return "C";
}

std::optional<DesktopEntry> parse_desktop_entry(std::string_view text, std::string_view locale) {
  std::map<std::string, std::string, std::less<>> keys;
  bool in_group = false;
  bool seen_group = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::string_view trimmed = trim_blanks(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    if (trimmed.front() == '[') {
      const std::size_t close = trimmed.find(']');
      const std::string_view group = close == std::string_view::npos ? "" : trimmed.substr(1, close - 1);
      if (seen_group && in_group) break;  // the entry's own group is over
      in_group = group == "Desktop Entry";
      seen_group = seen_group || in_group;
      continue;
    }
    if (!in_group) continue;
    const std::size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) continue;
    keys.emplace(std::string(trim_blanks(trimmed.substr(0, eq))), std::string(trim_blanks(trimmed.substr(eq + 1))));
  }
  if (!seen_group) return std::nullopt;
  auto get = [&keys](std::string_view key) -> std::string {
    auto it = keys.find(key);
    return it == keys.end() ? std::string() : it->second;
  };
  DesktopEntry e;
  e.type = get("Type");
  e.name = get("Name");
  for (const std::string& k : locale_keys(locale)) {
    if (auto it = keys.find("Name[" + k + "]"); it != keys.end() && !it->second.empty()) {
      e.name = it->second;
      break;
    }
  }
  e.name = unescape_value(e.name);
  e.exec = unescape_value(get("Exec"));
  e.try_exec = unescape_value(get("TryExec"));
  e.icon = unescape_value(get("Icon"));
  e.hidden = is_true(get("Hidden"));
  e.no_display = is_true(get("NoDisplay"));
  e.terminal = is_true(get("Terminal"));
  return e;
}

std::optional<std::vector<std::string>> split_desktop_exec(std::string_view exec) {
  static constexpr std::string_view kFieldCodes = "fFuUdDnNickvm";
  std::vector<std::string> args;
  std::string current;
  bool token = false;  // something (even an empty quoted argument) was read
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    const char next = i + 1 < exec.size() ? exec[i + 1] : '\0';
    if (quoted) {
      if (c == '\\' && (next == '"' || next == '`' || next == '$' || next == '\\')) {
        current.push_back(next);
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else if (c == '%' && next == '%') {
        current.push_back('%');
        ++i;
      } else {
        current.push_back(c);
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      if (token) args.push_back(std::move(current));
      current.clear();
      token = false;
    } else if (c == '"') {
      quoted = true;
      token = true;
    } else if (c == '%' && next == '%') {
      current.push_back('%');
      token = true;
      ++i;
    } else if (c == '%' && next != '\0' && kFieldCodes.find(next) != std::string_view::npos) {
      ++i;  // a field code: nothing is passed for it here
    } else {
      current.push_back(c);
      token = true;
    }
  }
  if (quoted) return std::nullopt;
  if (token) args.push_back(std::move(current));
  return args;
}

std::vector<std::filesystem::path> application_dirs() {
  std::vector<std::filesystem::path> dirs;
  if (auto data = env("XDG_DATA_HOME"); data && data->front() == '/') {
    dirs.emplace_back(*data);
  } else if (auto home = env("HOME")) {
    dirs.push_back(std::filesystem::path(*home) / ".local" / "share");
  }
  const std::string list = env("XDG_DATA_DIRS").value_or("/usr/local/share:/usr/share");
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(':', start);
    const std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (dir.starts_with('/')) dirs.emplace_back(dir);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (std::filesystem::path& d : dirs) d /= "applications";
  return dirs;
}

std::vector<DesktopEntry> read_desktop_entries(const std::vector<std::filesystem::path>& dirs,
                                               std::string_view locale) {
  std::vector<DesktopEntry> out;
  std::set<std::string> seen;
  for (const std::filesystem::path& dir : dirs) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) continue;
    std::vector<std::pair<std::string, std::filesystem::path>> files;
    auto it = std::filesystem::recursive_directory_iterator(
        dir, std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      const std::filesystem::path& p = it->path();
      if (p.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
      std::string id = p.lexically_relative(dir).generic_string();
      std::replace(id.begin(), id.end(), '/', '-');
      files.emplace_back(std::move(id), p);
    }
    std::sort(files.begin(), files.end());
    for (const auto& [id, path] : files) {
      // The first folder's file of an ID hides the others, even when it is
      // unreadable or marks itself hidden.
      if (!seen.insert(id).second) continue;
      std::optional<DesktopEntry> entry = parse_desktop_entry(read_small_file(path), locale);
      if (!entry) continue;
      entry->id = id;
      out.push_back(std::move(*entry));
    }
  }
  return out;
}

std::optional<std::filesystem::path> desktop_entry_program(const DesktopEntry& entry) {
  if (!entry.try_exec.empty() && !find_program(entry.try_exec)) return std::nullopt;
  const std::optional<std::vector<std::string>> args = split_desktop_exec(entry.exec);
  if (!args || args->empty()) return std::nullopt;
  std::size_t i = 0;
  if ((*args)[0] == "env" || (*args)[0].ends_with("/env")) {
    i = 1;
    while (i < args->size() && ((*args)[i].find('=') != std::string::npos || (*args)[i] == "-i")) ++i;
  }
  if (i >= args->size()) return std::nullopt;
  const std::optional<std::filesystem::path> program = find_program((*args)[i]);
  if (!program) return std::nullopt;
  std::error_code ec;
  std::filesystem::path real = std::filesystem::canonical(*program, ec);
  if (ec) return std::nullopt;
  return real;
}

bool is_listed_application(const DesktopEntry& entry) {
  return entry.type == "Application" && !entry.hidden && !entry.no_display && !entry.terminal && !entry.exec.empty();
}

// ---- LinuxApps ------------------------------------------------------------------

template <typename Fn>
bool LinuxApps::on_gtk_thread(Fn&& fn) {
  if (loop_ == nullptr) return false;
  if (loop_->on_loop_thread()) {
    fn();
    return true;
  }
  // A loop that no longer runs would never take the call.
  if (!loop_->running()) return false;
  loop_->call([&fn] { fn(); });
  return true;
}

std::vector<os::TopLevelWindow> LinuxApps::top_level_windows() {
  std::vector<os::TopLevelWindow> out;
  const uint32_t root = x11::root_window();
  if (root == 0) return out;
  // Bottom to top: the stacking list when the window manager keeps one.
  std::vector<uint32_t> clients;
  bool managed = false;
  for (const char* list : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
    if (auto p = x11::property(root, x11::atom(list), 33 /* WINDOW */); p && p->type != 0) {
      clients = p->cards();
      managed = true;
      break;
    }
  }
  // Without a window manager the root's own children are the windows: the
  // mapped ones are visible, the override-redirect ones (menus, tooltips)
  // count as tool windows.
  std::set<uint32_t> hidden;
  std::set<uint32_t> unmanaged;
  if (!managed) {
    for (const x11::RootChild& c : x11::root_children()) {
      clients.push_back(c.window);
      if (!c.viewable) hidden.insert(c.window);
      if (c.override_redirect) unmanaged.insert(c.window);
    }
  }
  std::reverse(clients.begin(), clients.end());  // topmost first, as EnumWindows
  const uint32_t own_pid = static_cast<uint32_t>(getpid());
  const uint32_t type_atom = x11::atom("_NET_WM_WINDOW_TYPE");
  const uint32_t state_atom = x11::atom("_NET_WM_STATE");
  const std::set<uint32_t> normal_types = {x11::atom("_NET_WM_WINDOW_TYPE_NORMAL"),
                                           x11::atom("_NET_WM_WINDOW_TYPE_DIALOG")};
  const uint32_t skip_taskbar = x11::atom("_NET_WM_STATE_SKIP_TASKBAR");
  for (uint32_t w : clients) {
    if (!x11::property(w, type_atom)) continue;  // gone meanwhile
    os::TopLevelWindow t;
    t.window = w;
    // A manager lists the windows it shows, minimised ones too (which
    // Windows also counts as visible).
    t.visible = !hidden.contains(w);
    t.title_length = static_cast<int32_t>(text::utf8_to_utf16(x11::window_title(w)).size());
    bool tool = unmanaged.contains(w);
    if (auto types = x11::property(w, type_atom, 4 /* ATOM */); types && types->type != 0) {
      const std::vector<uint32_t> values = types->cards();
      tool = tool || (!values.empty() && !normal_types.contains(values[0]));
    }
    if (auto states = x11::property(w, state_atom, 4 /* ATOM */); states && states->type != 0) {
      const std::vector<uint32_t> values = states->cards();
      tool = tool || std::find(values.begin(), values.end(), skip_taskbar) != values.end();
    }
    if (tool) t.ex_style = os::WS_EX_TOOLWINDOW;
    t.pid = x11::window_pid(w);
    // The host's own windows stand for harvel.exe's, which the lists leave out.
    if (t.pid == own_pid) continue;
    out.push_back(t);
  }
  return out;
}

std::vector<os::ShellAppItem> LinuxApps::applications_folder_items() {
  std::vector<os::ShellAppItem> items;
  std::vector<std::pair<std::string, std::string>> icons;
  for (const DesktopEntry& e : read_desktop_entries(application_dirs(), messages_locale())) {
    if (!is_listed_application(e)) continue;
    const std::optional<std::filesystem::path> program = desktop_entry_program(e);
    if (!program) continue;
    items.push_back({text::utf8_to_utf16(e.name), text::utf8_to_utf16(program->string())});
    icons.emplace_back(program->string(), e.icon);
  }
  std::lock_guard lock(icons_mutex_);
  program_icons_ = std::move(icons);
  icons_read_ = true;
  return items;
}

std::string LinuxApps::icon_name_for(const std::string& program) {
  {
    std::lock_guard lock(icons_mutex_);
    if (icons_read_) {
      for (const auto& [path, icon] : program_icons_) {
        if (path == program) return icon;
      }
      return {};
    }
  }
  applications_folder_items();
  std::lock_guard lock(icons_mutex_);
  for (const auto& [path, icon] : program_icons_) {
    if (path == program) return icon;
  }
  return {};
}

uint32_t LinuxApps::expand_environment_strings(std::u16string_view text_nul, std::span<char16_t> buffer) {
  // Linux paths have no %NAME% references: the text stays as it is.
  std::u16string_view units = text_nul;
  if (!units.empty() && units.back() == u'\0') units.remove_suffix(1);
  const auto needed = static_cast<uint32_t>(units.size() + 1);
  if (needed <= buffer.size()) {
    std::copy(units.begin(), units.end(), buffer.begin());
    buffer[units.size()] = u'\0';
  }
  return needed;
}

std::optional<std::size_t> LinuxApps::read_file_start(std::u16string_view path_nul, std::span<uint8_t> buffer) {
  std::ifstream in(path_text(path_nul), std::ios::binary);
  if (!in) return std::nullopt;
  in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  if (in.bad()) return std::nullopt;
  return static_cast<std::size_t>(in.gcount());
}

std::optional<std::vector<uint8_t>> LinuxApps::file_version_info(std::u16string_view) { return std::nullopt; }

std::optional<os::VersionValue> LinuxApps::ver_query_value(std::span<const uint8_t>, std::u16string_view) {
  return std::nullopt;
}

std::optional<os::IconBitmap> LinuxApps::shell_icon(std::u16string_view path_nul) {
  std::string icon = icon_name_for(path_text(path_nul));
  std::optional<os::IconBitmap> out;
  on_gtk_thread([&] {
    GdkPixbuf* pixbuf = icon.empty() ? nullptr : load_icon(icon);
    if (pixbuf == nullptr) pixbuf = load_icon(std::string(kFallbackIcon));
    if (pixbuf == nullptr) return;
    out = bitmap_of(pixbuf);
    g_object_unref(pixbuf);
  });
  return out;
}

std::optional<std::u16string> LinuxApps::open_file_dialog(std::u16string_view filter_name,
                                                          std::u16string_view pattern) {
  // The host's programs have no ".exe": the filter shows executable files,
  // under the name without its Windows pattern.
  std::string name = text::utf16_to_utf8_lossy(filter_name);
  if (pattern == u"*.exe") {
    if (const std::size_t paren = name.find(" ("); paren != std::string::npos) name.resize(paren);
  }
  std::optional<std::u16string> chosen;
  on_gtk_thread([&] {
    const char* open_label = g_dgettext("gtk30", "_Open");
    GtkWidget* dialog = gtk_file_chooser_dialog_new(without_mnemonic(open_label).c_str(), nullptr,
                                                    GTK_FILE_CHOOSER_ACTION_OPEN, g_dgettext("gtk30", "_Cancel"),
                                                    GTK_RESPONSE_CANCEL, open_label, GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, name.c_str());
    gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_FILENAME, is_program_choice, nullptr, nullptr);
    gtk_file_chooser_add_filter(chooser, filter);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_present(GTK_WINDOW(dialog));
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
      if (gchar* file = gtk_file_chooser_get_filename(chooser)) {
        chosen = text::utf8_to_utf16(file);
        g_free(file);
      }
    }
    gtk_widget_destroy(dialog);
  });
  return chosen;
}

}  // namespace harvel::linux_host
