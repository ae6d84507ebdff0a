#pragma once

namespace revizer::client {

// What installing the process-wide TLS cryptography provider did.
enum class CryptoProviderInstall {
  installed,          // this call initialised the library
  already_installed,  // an earlier call (ours or another extension's) did
};

// Initialises OpenSSL's process-wide state (algorithms, error strings, the
// default provider) once. Safe to call from any thread, any number of times;
// a library already initialised by someone else is left as it is.
CryptoProviderInstall install_default_crypto_provider() noexcept;

}  // namespace revizer::client
