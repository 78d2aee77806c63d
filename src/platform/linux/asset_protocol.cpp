// The application's origin harvel://localhost/: every request is answered
// by the shared origin rules (app/web_assets.h) from the embedded files.
#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include <string>
#include <utility>

#include "app/web_assets.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

void finish(WebKitURISchemeRequest* request, AssetResponse r) {
  auto* owned = new std::string(std::move(r.body));
  GBytes* bytes = g_bytes_new_with_free_func(
      owned->data(), owned->size(), [](gpointer p) { delete static_cast<std::string*>(p); }, owned);
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  WebKitURISchemeResponse* response =
      webkit_uri_scheme_response_new(stream, static_cast<gint64>(g_bytes_get_size(bytes)));
  webkit_uri_scheme_response_set_status(response, static_cast<guint>(r.status), r.reason.c_str());
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  for (const auto& [name, value] : r.headers) {
    if (name == "Content-Type") {
      webkit_uri_scheme_response_set_content_type(response, value.c_str());
      soup_message_headers_set_content_type(headers, value.c_str(), nullptr);
    } else {
      soup_message_headers_append(headers, name.c_str(), value.c_str());
    }
  }
  webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  g_object_unref(stream);
  g_bytes_unref(bytes);
}

void serve(WebKitURISchemeRequest* request, gpointer) {
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  AssetResponse r = serve_app_asset(uri != nullptr ? uri : "");
  if (r.status != 200) trace("asset 404 " + std::string(uri != nullptr ? uri : ""));
  finish(request, std::move(r));
}

}  // namespace

void register_asset_scheme(WebKitWebContext* context) {
  webkit_web_context_register_uri_scheme(context, "harvel", serve, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, "harvel");
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "harvel");
}

}  // namespace harvel::linux_host
