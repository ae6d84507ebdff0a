#include "common/auth/google/http_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <mutex>
#include <string_view>

#include "common/env/process_env.h"

namespace revizer::common::google {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// A healthy metadata server or token endpoint answers in well under a
// second. The bounds stop a host that accepts and never answers from holding
// a fetch thread, and the connect or calls waiting on it, indefinitely:
// 10 s to connect, 30 s for the whole exchange, ample for a slow network or
// proxy while a stuck fetch still fails within half a minute.
constexpr long kConnectTimeoutMs = 10'000;
constexpr long kTransferTimeoutMs = 30'000;

struct FetchBounds {
  long connect_ms = kConnectTimeoutMs;
  long transfer_ms = kTransferTimeoutMs;
};

// Tests shorten both bounds with _TAVIMOR_TEST_TOKEN_FETCH_TIMEOUT_MS (a
// positive number of milliseconds); anything else keeps the defaults.
FetchBounds fetch_bounds() {
  FetchBounds bounds;
  const std::optional<std::string> text = env_read_text("_TAVIMOR_TEST_TOKEN_FETCH_TIMEOUT_MS");
  if (!text) return bounds;
  long ms = 0;
  const std::string_view view = *text;
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), ms);
  if (ec != std::errc() || end != view.data() + view.size() || ms <= 0) return bounds;
  bounds.connect_ms = std::min(bounds.connect_ms, ms);
  bounds.transfer_ms = std::min(bounds.transfer_ms, ms);
  return bounds;
}

void ensure_curl_initialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where curl's write callback puts the reply body.
struct BodySink {
  std::string* body;
  bool out_of_memory = false;
};

// Called from curl's C frames, so nothing may propagate: a body that cannot
// grow stops the transfer (a short count is curl's write error) and is
// reported by the caller.
extern "C" std::size_t append_body(char* data, std::size_t size, std::size_t count, void* out) noexcept {
  auto* sink = static_cast<BodySink*>(out);
  try {
    sink->body->append(data, size * count);
  } catch (...) {
    sink->out_of_memory = true;
    return 0;
  }
  return size * count;
}

}  // namespace

std::string url_escape(const std::string& text) {
  ensure_curl_initialised();
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  char* escaped = easy ? curl_easy_escape(easy.get(), text.data(), static_cast<int>(text.size())) : nullptr;
  if (escaped == nullptr) return text;
  std::string out(escaped);
  curl_free(escaped);
  return out;
}

Result<HttpReply, std::string> http_fetch(const HttpRequest& request) {
  ensure_curl_initialised();
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return fail(std::string("could not start an HTTP request"));
  std::unique_ptr<curl_slist, ListDeleter> headers;
  for (const std::string& header : request.headers) {
    curl_slist* grown = curl_slist_append(headers.get(), header.c_str());
    if (grown == nullptr) return fail(std::string("out of memory building HTTP headers"));
    (void)headers.release();
    headers.reset(grown);
  }
  HttpReply reply;
  BodySink sink{&reply.body};
  char error_text[CURL_ERROR_SIZE] = {};
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // safe on any thread
  const FetchBounds bounds = fetch_bounds();
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, bounds.connect_ms);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, bounds.transfer_ms);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &append_body);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  if (request.bypass_proxy) curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
  if (!request.form_body.empty()) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.form_body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.form_body.size()));
  }
  const CURLcode code = curl_easy_perform(h);
  if (sink.out_of_memory) return fail(std::string("out of memory reading the HTTP reply"));
  if (code != CURLE_OK) return fail(std::string(error_text[0] ? error_text : curl_easy_strerror(code)));
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
  return reply;
}

}  // namespace revizer::common::google
