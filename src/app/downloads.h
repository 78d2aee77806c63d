// Files the pages download: the converter's documents, which the page
// offers as blobs of its own origin under their output name
// ("Maqola.uz.md"). Both hosts save them under the names made here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace harvel {

// A download the pages may start: a blob: address of the application's own
// origin, which is how the converter offers its documents. Anything else is
// refused, the application's own pages and files included.
bool is_app_download_url(std::string_view url);

// The page's suggested name made one file name that Linux and Windows both
// accept (a file saved on one may be copied to the other), as close to the
// page's name as it can be: only the last path component; control
// characters out; invalid UTF-8 replaced; the characters Windows does not
// allow become '_'; trailing dots and blanks go; a Windows device name
// ("CON", "nul.txt") gets a '_' in front; at most 255 bytes, cut at a
// character boundary and keeping the extension; "hujjat" when nothing is
// left.
std::string safe_download_name(std::string_view name);

// The name under which a download is saved in a folder: `name` itself, or
// the first of "stem (1).ext", "stem (2).ext", ... that `taken` does not
// report. The extension starts at the last full stop after the first
// character ("Maqola.uz (1).md", ".profile (1)"), and a numbered name is cut
// to 255 bytes like any other. None when every number up to 9999 is taken.
std::optional<std::string> free_download_name(std::string_view name,
                                              const std::function<bool(const std::string&)>& taken);

}  // namespace harvel
