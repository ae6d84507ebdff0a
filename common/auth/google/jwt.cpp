#include "common/auth/google/jwt.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>
#include <vector>

namespace revizer::common::google {
namespace {

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;

}  // namespace

std::string base64url(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  while (!out.empty() && out.back() == '=') out.pop_back();
  for (char& c : out) {
    if (c == '+') c = '-';
    else if (c == '/') c = '_';
  }
  return out;
}

Result<std::string, std::string> sign_rs256_jwt(std::string_view header_json, std::string_view claims_json,
                                                std::string_view private_key_pem) {
  Bio pem(BIO_new_mem_buf(private_key_pem.data(), static_cast<int>(private_key_pem.size())));
  Key key(pem ? PEM_read_bio_PrivateKey(pem.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) {
    return fail(std::string("the service account's private_key is not a PEM RSA private key"));
  }
  const std::string signing_input = base64url(header_json) + "." + base64url(claims_json);
  DigestContext context(EVP_MD_CTX_new());
  std::size_t length = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(signing_input.data()),
                     signing_input.size()) != 1) {
    return fail(std::string("signing the token request failed"));
  }
  std::vector<unsigned char> signature(length);
  if (EVP_DigestSign(context.get(), signature.data(), &length,
                     reinterpret_cast<const unsigned char*>(signing_input.data()), signing_input.size()) != 1) {
    return fail(std::string("signing the token request failed"));
  }
  return signing_input + "." +
         base64url(std::string_view(reinterpret_cast<const char*>(signature.data()), length));
}

}  // namespace revizer::common::google
