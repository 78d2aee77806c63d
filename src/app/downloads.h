// Files the pages download: the converter's documents, which the page
// offers as blobs of its own origin under their output name
// ("report.uz.docx").
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace harvel {

// A download the pages may start: a blob or a page of the application's own
// origin. Anything else is refused.
bool is_app_download_url(std::string_view url);

// A file name the system accepts, keeping the page's name where it can:
// path separators, characters Windows does not allow in names and control
// characters become '_', trailing dots and blanks go, device names ("CON",
// "nul.txt") get a '_' in front, and an empty name becomes "download".
std::string safe_download_name(std::string_view name);

// The name under which a download is saved in a folder: `name` itself, or
// the first of "stem (1).ext", "stem (2).ext", ... that `taken` does not
// report, where the extension is everything from the name's first dot
// ("report (1).uz.docx").
std::string free_download_name(std::string_view name, const std::function<bool(const std::string&)>& taken);

}  // namespace harvel
