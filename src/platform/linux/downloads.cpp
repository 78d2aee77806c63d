// Downloads of the application's own pages (a converted document's link):
// saved straight into the user's Downloads folder under the name the page
// gave, never over an existing file. Only blob: addresses of the
// application's origin are saved; any other download is cancelled.
#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cerrno>
#include <string>

#include "app/navigation.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

constexpr std::size_t kNameMax = 255;  // bytes of one file name
constexpr char kFallbackName[] = "hujjat";
constexpr char kReservedKey[] = "harvel-reserved-path";

// Where the extension starts: the last full stop after the first character
// (so ".txt" alone has none), else the end.
std::size_t extension_start(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? name.size() : dot;
}

// `text` cut to at most `bytes` bytes, at a character boundary.
std::string utf8_prefix(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return std::string(text);
  std::size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return std::string(text.substr(0, n));
}

// The stem cut so that stem + suffix + extension fits in one file name; a
// very long extension is dropped rather than the whole stem.
std::string fitted(std::string_view stem, std::string_view suffix, std::string_view ext) {
  if (suffix.size() + ext.size() >= kNameMax - 1) ext = {};
  return utf8_prefix(stem, kNameMax - suffix.size() - ext.size()) + std::string(suffix) + std::string(ext);
}

gboolean on_decide_destination(WebKitDownload* download, gchar* suggested, gpointer) {
  const std::string folder = downloads_folder();
  std::optional<std::string> path;
  if (g_mkdir_with_parents(folder.c_str(), 0755) == 0) {
    path = reserve_download_path(folder, download_file_name(suggested != nullptr ? suggested : ""));
  }
  gchar* uri = path ? g_filename_to_uri(path->c_str(), nullptr, nullptr) : nullptr;
  if (uri == nullptr) {
    trace("download refused: no place in " + folder);
    webkit_download_cancel(download);
    return TRUE;
  }
  g_object_set_data_full(G_OBJECT(download), kReservedKey, g_strdup(path->c_str()), g_free);
  // The reserved empty file is this download's own, so it may be replaced.
  webkit_download_set_allow_overwrite(download, TRUE);
  webkit_download_set_destination(download, uri);
  g_free(uri);
  return TRUE;
}

void on_failed(WebKitDownload* download, GError*, gpointer) {
  // A failed or cancelled download leaves nothing behind, its reservation
  // included (only while it is still empty: nothing else may be removed).
  const auto* path = static_cast<const char*>(g_object_get_data(G_OBJECT(download), kReservedKey));
  GStatBuf st;
  if (path != nullptr && g_stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) g_unlink(path);
  trace(std::string("download failed ") + (path != nullptr ? path : ""));
}

void on_finished(WebKitDownload* download, gpointer) {
  const auto* path = static_cast<const char*>(g_object_get_data(G_OBJECT(download), kReservedKey));
  trace(std::string("download saved ") + (path != nullptr ? path : ""));
}

void on_download_started(WebKitWebContext*, WebKitDownload* download, gpointer) {
  WebKitURIRequest* request = webkit_download_get_request(download);
  const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
  if (uri == nullptr || !is_app_blob_url(uri)) {
    trace(std::string("download refused ") + (uri != nullptr ? uri : ""));
    webkit_download_cancel(download);
    return;
  }
  g_signal_connect(download, "decide-destination", G_CALLBACK(on_decide_destination), nullptr);
  g_signal_connect(download, "failed", G_CALLBACK(on_failed), nullptr);
  g_signal_connect(download, "finished", G_CALLBACK(on_finished), nullptr);
}

}  // namespace

bool is_app_blob_url(std::string_view url) {
  constexpr std::string_view kBlob = "blob:";
  if (url.size() <= kBlob.size() || g_ascii_strncasecmp(url.data(), kBlob.data(), kBlob.size()) != 0) return false;
  return is_app_navigation_url(url.substr(kBlob.size()));
}

std::string download_file_name(std::string_view suggested) {
  // The last component of whatever path the page gave, without control
  // characters; no name at all, or one that names a folder, gets the
  // page's own fallback name.
  const std::size_t slash = suggested.find_last_of("/\\");
  if (slash != std::string_view::npos) suggested.remove_prefix(slash + 1);
  std::string name;
  for (char c : suggested) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) name.push_back(c);
  }
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
    gchar* valid = g_utf8_make_valid(name.data(), static_cast<gssize>(name.size()));
    name = valid;
    g_free(valid);
  }
  if (name.find_first_not_of(". ") == std::string::npos) return kFallbackName;
  const std::size_t ext = extension_start(name);
  return fitted(std::string_view(name).substr(0, ext), "", std::string_view(name).substr(ext));
}

std::string numbered_file_name(std::string_view name, int n) {
  if (n <= 0) return std::string(name);
  const std::size_t ext = extension_start(name);
  return fitted(name.substr(0, ext), " (" + std::to_string(n) + ")", name.substr(ext));
}

std::optional<std::string> reserve_download_path(const std::string& folder, std::string_view name) {
  // Creating the file exclusively claims its name, so neither an existing
  // file nor a download saved at the same moment is ever overwritten.
  for (int n = 0; n < 1000; ++n) {
    const std::string path = folder + "/" + numbered_file_name(name, n);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

std::string downloads_folder() {
  if (const char* dir = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD)) return dir;
  // No XDG setting: the usual default of the user-dirs tools.
  return std::string(g_get_home_dir()) + "/Downloads";
}

void handle_downloads(WebKitWebContext* context) {
  g_signal_connect(context, "download-started", G_CALLBACK(on_download_started), nullptr);
}

}  // namespace harvel::linux_host
