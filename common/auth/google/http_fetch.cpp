#include "common/auth/google/http_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace revizer::common::google {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

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
