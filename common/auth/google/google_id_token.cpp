#include "common/auth/google/google_id_token.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <optional>

#include "common/auth/google/http_fetch.h"
#include "common/auth/google/jwt.h"
#include "common/env/env_path.h"
#include "common/env/process_env.h"
#include "common/platform/files.h"
#include "common/text/utf8.h"

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

std::string string_member(const rapidjson::Value& object, const char* name) {
  const auto it = object.FindMember(name);
  if (it == object.MemberEnd() || !it->value.IsString()) return {};
  return {it->value.GetString(), it->value.GetStringLength()};
}

std::string json_object(std::initializer_list<std::pair<const char*, std::string>> texts,
                        std::initializer_list<std::pair<const char*, long>> numbers = {}) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  for (const auto& [key, value] : texts) {
    writer.Key(key);
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
  }
  for (const auto& [key, value] : numbers) {
    writer.Key(key);
    writer.Int64(value);
  }
  writer.EndObject();
  return {buffer.GetString(), buffer.GetSize()};
}

std::string excerpt(const std::string& body) { return text::decode_utf8_lossy(body.substr(0, 200)); }

Result<std::string, std::string> exchange_service_account(const rapidjson::Value& key, const std::string& shown_path,
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
  rapidjson::Document answer;
  answer.Parse(reply->body.data(), reply->body.size());
  const std::string token = answer.IsObject() ? string_member(answer, "id_token") : std::string();
  if (token.empty()) return fail("token endpoint " + token_uri + " answered without an id_token");
  return token;
}

Result<std::string, std::string> from_key_file(const std::string& path, const std::string& audience) {
  const std::string shown = text::decode_utf8_lossy(path);
  auto content = platform::read_file(path);
  if (!content) return fail("cannot read credentials file " + shown + ": " + content.error().text);
  rapidjson::Document key;
  key.Parse(content->data(), content->size());
  if (key.HasParseError() || !key.IsObject()) return fail("credentials file " + shown + " is not a JSON object");
  const std::string type = string_member(key, "type");
  if (type != "service_account") {
    return fail("unsupported credential type \"" + type + "\" in " + shown +
                ": identity tokens for an audience need a service account key (type \"service_account\") "
                "or the metadata server");
  }
  return exchange_service_account(key, shown, audience);
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
