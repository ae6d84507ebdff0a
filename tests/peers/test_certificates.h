#pragma once

// Certificates for TLS tests, made by make_test_certs.sh (the openssl command
// line tool) in a temporary directory that goes away with the object.

#include <string>

namespace revizer::peers {

class TestCertificates {
 public:
  TestCertificates();
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  bool ok() const { return ok_; }
  const std::string& dir() const { return dir_; }
  // "<dir>/<name>", e.g. file("server.pem"); the files are listed in make_test_certs.sh.
  std::string file(const std::string& name) const { return dir_ + "/" + name; }

  std::string ca() const { return file("ca.pem"); }
  std::string server_cert() const { return file("server.pem"); }
  std::string server_key() const { return file("server.key"); }
  std::string wrong_host_cert() const { return file("wrong-host.pem"); }
  std::string wrong_host_key() const { return file("wrong-host.key"); }
  std::string self_signed_cert() const { return file("self-signed.pem"); }
  std::string self_signed_key() const { return file("self-signed.key"); }

 private:
  std::string dir_;
  bool ok_ = false;
};

}  // namespace revizer::peers
