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

extern "C" std::size_t append_body(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
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
  char error_text[CURL_ERROR_SIZE] = {};
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // safe on any thread
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &append_body);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  if (request.bypass_proxy) curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
  if (!request.form_body.empty()) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.form_body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.form_body.size()));
  }
  const CURLcode code = curl_easy_perform(h);
  if (code != CURLE_OK) return fail(std::string(error_text[0] ? error_text : curl_easy_strerror(code)));
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
  return reply;
}

}  // namespace revizer::common::google
