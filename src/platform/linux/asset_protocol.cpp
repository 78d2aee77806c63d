// The application's origin harvel://localhost/: every path is answered from
// the embedded file table, decompressed, with its MIME type and the content
// security policy; a path that is not in the table gets a 404.
#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include <array>
#include <string>
#include <utility>

#include "app/embedded_files.h"
#include "core/settings.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

struct Mime {
  std::string_view extension;  // lower case, without the dot
  std::string_view type;
};

// WebKit runs module scripts only when they come with a JavaScript type.
constexpr std::array kMimeTypes{
    Mime{"html", "text/html"},
    Mime{"htm", "text/html"},
    Mime{"js", "text/javascript"},
    Mime{"mjs", "text/javascript"},
    Mime{"cjs", "text/javascript"},
    Mime{"css", "text/css"},
    Mime{"json", "application/json"},
    Mime{"map", "application/json"},
    Mime{"webmanifest", "application/manifest+json"},
    Mime{"wasm", "application/wasm"},
    Mime{"svg", "image/svg+xml"},
    Mime{"png", "image/png"},
    Mime{"jpg", "image/jpeg"},
    Mime{"jpeg", "image/jpeg"},
    Mime{"gif", "image/gif"},
    Mime{"webp", "image/webp"},
    Mime{"avif", "image/avif"},
    Mime{"ico", "image/x-icon"},
    Mime{"bmp", "image/bmp"},
    Mime{"woff", "font/woff"},
    Mime{"woff2", "font/woff2"},
    Mime{"ttf", "font/ttf"},
    Mime{"otf", "font/otf"},
    Mime{"txt", "text/plain"},
    Mime{"xml", "application/xml"},
    Mime{"mp4", "video/mp4"},
    Mime{"webm", "video/webm"},
    Mime{"mp3", "audio/mpeg"},
    Mime{"wav", "audio/wav"},
    Mime{"ogg", "audio/ogg"},
};

constexpr std::string_view kOrigin = "harvel://localhost";

void finish(WebKitURISchemeRequest* request, guint status, std::string_view mime, std::string body) {
  auto* owned = new std::string(std::move(body));
  GBytes* bytes = g_bytes_new_with_free_func(owned->data(), owned->size(),
                                             [](gpointer p) { delete static_cast<std::string*>(p); }, owned);
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  WebKitURISchemeResponse* response =
      webkit_uri_scheme_response_new(stream, static_cast<gint64>(g_bytes_get_size(bytes)));
  webkit_uri_scheme_response_set_status(response, status, nullptr);
  webkit_uri_scheme_response_set_content_type(response, std::string(mime).c_str());
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_set_content_type(headers, std::string(mime).c_str(), nullptr);
  soup_message_headers_append(headers, "Content-Security-Policy",
                              content_security_policy(default_site_url()).c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  g_object_unref(stream);
  g_bytes_unref(bytes);
}

void serve(WebKitURISchemeRequest* request, gpointer) {
  std::string path = "/";
  bool local = false;
  if (GUri* uri = g_uri_parse(webkit_uri_scheme_request_get_uri(request), G_URI_FLAGS_NONE, nullptr)) {
    const char* host = g_uri_get_host(uri);
    local = host != nullptr && g_ascii_strcasecmp(host, "localhost") == 0;
    path = g_uri_get_path(uri);
    g_uri_unref(uri);
  }
  if (path.empty() || path == "/") path = "/index.html";
  std::optional<std::string> body;
  if (local) body = read_embedded_file(path);
  if (!body) {
    trace("asset 404 " + path);
    finish(request, 404, "text/plain", "not found");
    return;
  }
  finish(request, 200, mime_type_for_path(path), std::move(*body));
}

}  // namespace

std::string_view mime_type_for_path(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return "application/octet-stream";
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) c = g_ascii_tolower(c);
  for (const Mime& m : kMimeTypes) {
    if (m.extension == ext) return m.type;
  }
  return "application/octet-stream";
}

std::string content_security_policy(std::string_view site_url) {
  const std::string site(site_url);
  return "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: " + site +
         "; media-src 'self' " + site + "; font-src 'self' data:; connect-src 'self' " + std::string(kOrigin) +
         "; object-src 'none'; base-uri 'none'; form-action 'none'";
}

void register_asset_scheme(WebKitWebContext* context) {
  webkit_web_context_register_uri_scheme(context, "harvel", serve, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, "harvel");
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "harvel");
}

}  // namespace harvel::linux_host
