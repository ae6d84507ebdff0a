#include "revizer/client/crypto_provider.h"

#include <mutex>

#include <openssl/crypto.h>
#include <openssl/provider.h>
#include <openssl/ssl.h>

namespace revizer::client {

CryptoProviderInstall install_default_crypto_provider() noexcept {
  static std::once_flag once;
  bool first = false;
  std::call_once(once, [&] {
    // OpenSSL's own initialisation is itself once-only and process-wide: when
    // another extension got there first this is a no-op, never an error.
    // Its clean-up at exit is declined: it would free what connections still
    // in use at that moment need. (The first initialiser of the process
    // decides this; an interpreter that loaded OpenSSL earlier has decided.)
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_NO_ATEXIT,
                     nullptr);
    // Keep the default provider loaded for the life of the process, so that a
    // configuration file or another library cannot leave us without ciphers.
    // The handle is held (reachable) for the life of the process on purpose.
    static OSSL_PROVIDER* const kept_loaded = OSSL_PROVIDER_try_load(nullptr, "default", 1);
    (void)kept_loaded;
    first = true;
  });
  return first ? CryptoProviderInstall::installed : CryptoProviderInstall::already_installed;
}

}  // namespace revizer::client
