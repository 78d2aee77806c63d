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

#include "app/downloads.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

constexpr char kReservedKey[] = "harvel-reserved-path";

gboolean on_decide_destination(WebKitDownload* download, gchar* suggested, gpointer) {
  const std::string folder = downloads_folder();
  std::optional<std::string> path;
  if (g_mkdir_with_parents(folder.c_str(), 0755) == 0) {
    path = reserve_download_path(folder, safe_download_name(suggested != nullptr ? suggested : ""));
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
  if (uri == nullptr || !is_app_download_url(uri)) {
    trace(std::string("download refused ") + (uri != nullptr ? uri : ""));
    webkit_download_cancel(download);
    return;
  }
  g_signal_connect(download, "decide-destination", G_CALLBACK(on_decide_destination), nullptr);
  g_signal_connect(download, "failed", G_CALLBACK(on_failed), nullptr);
  g_signal_connect(download, "finished", G_CALLBACK(on_finished), nullptr);
}

}  // namespace

std::optional<std::string> reserve_download_path(const std::string& folder, std::string_view name) {
  // Creating the file exclusively claims its name, so neither an existing
  // file nor a download saved at the same moment is ever overwritten. Any
  // failure other than a name already there ends the search.
  bool failed = false;
  const std::optional<std::string> claimed = free_download_name(name, [&](const std::string& candidate) {
    const int fd = ::open((folder + "/" + candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return false;
    }
    failed = errno != EEXIST;
    return !failed;
  });
  if (!claimed || failed) return std::nullopt;
  return folder + "/" + *claimed;
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
