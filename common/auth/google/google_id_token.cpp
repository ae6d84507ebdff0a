#include "common/auth/google/google_id_token.h"

#include <chrono>
#include <optional>

#include "common/auth/google/http_fetch.h"
#include "common/auth/google/jwt.h"
#include "common/env/env_path.h"
#include "common/env/process_env.h"
#include "platform/files.h"
#include "text/utf8_bytes.h"
#include "model/json/reader.h"
#include "model/json/value.h"
#include "model/json/writer.h"

namespace revizer::common {
namespace {

using google::HttpReply;
using google::HttpRequest;

constexpr const char* kDefaultTokenUri = "https://oauth2.googleapis.com/token";
constexpr const char* kDefaultMetadataHost = "metadata.google.internal";
constexpr long kAssertionLifetimeSeconds = 3600;

std::optional<std::string> nonempty_env(std::string_view name) {
  auto value = env_read_bytes(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

// The key file to use, or nothing for the metadata server.
Result<std::optional<std::string>, std::string> credential_file() {
  if (auto named = nonempty_env("GOOGLE_APPLICATION_CREDENTIALS")) return std::optional(*named);
  std::optional<std::string> config_dir = nonempty_env("CLOUDSDK_CONFIG");
  if (!config_dir) {
    if (auto home = nonempty_env("HOME")) config_dir = join_path(*home, ".config/gcloud");
  }
  if (config_dir) {
    std::string well_known = join_path(*config_dir, "application_default_credentials.json");
    if (platform::exists(well_known)) return std::optional(std::move(well_known));
  }
  return std::optional<std::string>();
}

// The text of `name` in a JSON object, or empty when absent or not a string.
std::string string_member(const json::Object& object, std::string_view name) {
  const json::Value* value = object.find(name);
  if (value == nullptr || !value->is_string()) return {};
  return value->as_string();
}

// Parses `text` as a JSON object; nothing when it is not one.
std::optional<json::Object> parse_object(std::string_view text) {
  auto parsed = json::parse(text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return std::move(*parsed).take_object();
}

std::string json_object(std::initializer_list<std::pair<const char*, std::string>> texts,
                        std::initializer_list<std::pair<const char*, long>> numbers = {}) {
  json::Object object;
  for (const auto& [key, value] : texts) object.insert(key, json::Value(value));
  for (const auto& [key, value] : numbers) object.insert(key, json::Value(static_cast<std::int64_t>(value)));
  return json::write(json::Value(std::move(object)));
}

std::string excerpt(const std::string& body) { return unicode::decode_utf8_lossy(body.substr(0, 200)); }

Result<std::string, std::string> exchange_service_account(const json::Object& key, const std::string& shown_path,
                                                          const std::string& audience) {
  const std::string email = string_member(key, "client_email");
  const std::string private_key = string_member(key, "private_key");
  if (email.empty() || private_key.empty()) {
    return fail("service account key " + shown_path + " lacks client_email or private_key");
  }
  std::string token_uri = string_member(key, "token_uri");
  if (token_uri.empty()) token_uri = kDefaultTokenUri;

  const long now = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
  const std::string header = json_object({{"alg", "RS256"}, {"typ", "JWT"}, {"kid", string_member(key, "private_key_id")}});
  const std::string claims = json_object({{"iss", email}, {"sub", email}, {"aud", token_uri}, {"target_audience", audience}},
                                         {{"iat", now}, {"exp", now + kAssertionLifetimeSeconds}});
  auto assertion = google::sign_rs256_jwt(header, claims, private_key);
  if (!assertion) return fail("service account key " + shown_path + ": " + assertion.error());

  HttpRequest request;
  request.url = token_uri;
  request.headers = {"Content-Type: application/x-www-form-urlencoded"};
  request.form_body = "grant_type=" + google::url_escape("urn:ietf:params:oauth:grant-type:jwt-bearer") +
                      "&assertion=" + google::url_escape(*assertion);
  auto reply = google::http_fetch(request);
  if (!reply) return fail("token request to " + token_uri + " failed: " + reply.error());
  if (reply->status != 200) {
    return fail("token endpoint " + token_uri + " answered " + std::to_string(reply->status) + ": " + excerpt(reply->body));
  }
  const std::optional<json::Object> answer = parse_object(reply->body);
  const std::string token = answer ? string_member(*answer, "id_token") : std::string();
  if (token.empty()) return fail("token endpoint " + token_uri + " answered without an id_token");
  return token;
}

Result<std::string, std::string> from_key_file(const std::string& path, const std::string& audience) {
  const std::string shown = unicode::decode_utf8_lossy(path);
  auto content = platform::read_file(path);
  if (!content) return fail("cannot read credentials file " + shown + ": " + content.error().text);
  const std::optional<json::Object> key = parse_object(*content);
  if (!key) return fail("credentials file " + shown + " is not a JSON object");
  const std::string type = string_member(*key, "type");
  if (type != "service_account") {
    return fail("unsupported credential type \"" + type + "\" in " + shown +
                ": identity tokens for an audience need a service account key (type \"service_account\") "
                "or the metadata server");
  }
  return exchange_service_account(*key, shown, audience);
}

Result<std::string, std::string> from_metadata_server(const std::string& audience) {
  const std::string host = nonempty_env("GCE_METADATA_HOST").value_or(kDefaultMetadataHost);
  HttpRequest request;
  request.url = "http://" + host + "/computeMetadata/v1/instance/service-accounts/default/identity?audience=" +
                google::url_escape(audience) + "&format=full";
  request.headers = {"Metadata-Flavor: Google"};
  request.bypass_proxy = true;
  auto reply = google::http_fetch(request);
  if (!reply) return fail("metadata server " + host + " unreachable: " + reply.error());
  if (reply->status != 200) {
    return fail("metadata server " + host + " answered " + std::to_string(reply->status) + ": " + excerpt(reply->body));
  }
  return std::move(reply->body);
}

}  // namespace

Result<std::string, std::string> google_id_token_blocking(const std::string& audience) {
  auto file = credential_file();
  if (!file) return fail(std::move(file).error());
  if (*file) return from_key_file(**file, audience);
  return from_metadata_server(audience);
}

}  // namespace revizer::common
