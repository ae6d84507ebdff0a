// revizer_test_server: a gRPC server of RevizerService/Adjudicates on
// 127.0.0.1, built on the gRPC C++ library, for tests and benchmarks of our
// client. Each call's behaviour comes from its first event's trajectory id
// (tests/peers/README.md has the table). Protocol for the process that starts
// it: the first line on stdout is the port, written once the server accepts
// calls; it stops cleanly on SIGTERM or SIGINT, and when its standard input
// is a pipe or socket, once that is closed.
//
//   revizer_test_server [--port N] [--tls-cert PEM --tls-key PEM] [--direct]
//                       [--max-concurrent-streams N]
//
// By default a relay (h2_relay.h) listens on the port and passes connections
// to the gRPC server on an internal port: it reads "grpc-timeout" as sent and
// drops connections for behave:close-connection. --direct lets the gRPC
// server listen on the port itself (benchmarks: no extra hop).

#include <grpcpp/generic/async_generic_service.h>
#include <grpcpp/grpcpp.h>
#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/peers/h2_relay.h"
#include "tests/peers/peer_behaviour.h"

namespace revizer::peers {
namespace {

using Kind = Behaviour::Kind;

constexpr const char* kMethod = "/tavimor.revizer.v1.RevizerService/Adjudicates";

struct Options {
  std::uint16_t port = 0;
  std::string tls_cert;
  std::string tls_key;
  bool direct = false;
  int max_concurrent_streams = 0;  // 0: the library's default
};

// What every call shares: the relay (absent with --direct) and a thread for
// delayed answers.
struct Shared {
  H2Relay* relay = nullptr;
  asio::io_context timers;
};

std::uint16_t peer_port(const std::string& peer) {
  // "ipv4:127.0.0.1:40312" or "ipv6:[::1]:40312"
  const std::size_t colon = peer.rfind(':');
  if (colon == std::string::npos) return 0;
  try {
    return static_cast<std::uint16_t>(std::stoul(peer.substr(colon + 1)));
  } catch (const std::exception&) {
    return 0;
  }
}

// Strict UTF-8, as Python's decoder reads it: no overlong forms, surrogates
// or code points above U+10FFFF.
bool is_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5                    ? 4
                                                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
    i += length;
  }
  return true;
}

// A header value as text, the way grpcio hands metadata to Python (so both
// servers report the same): UTF-8 when the bytes are UTF-8, else one code
// point per byte.
std::string header_text(std::string_view bytes) {
  if (is_utf8(bytes)) return std::string(bytes);
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | byte >> 6));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

// One header's values for the metadata report: null, a text, or a list when
// the header came more than once.
void report_values(google::protobuf::Struct& report, const std::string& name, const std::vector<std::string>& values) {
  google::protobuf::Value& value = (*report.mutable_fields())[name];
  if (values.empty()) {
    value.set_null_value(google::protobuf::NULL_VALUE);
  } else if (values.size() == 1) {
    value.set_string_value(header_text(values.front()));
  } else {
    for (const std::string& v : values) value.mutable_list_value()->add_values()->set_string_value(header_text(v));
  }
}

class AdjudicatesReactor final : public grpc::ServerGenericBidiReactor {
 public:
  AdjudicatesReactor(grpc::GenericCallbackServerContext* context, Shared& shared)
      : context_(context), shared_(shared), finished_(std::make_shared<std::atomic<bool>>(false)) {
    if (context->method() != kMethod) {
      finish(grpc::Status(grpc::StatusCode::UNIMPLEMENTED, "no method " + context->method()));
      return;
    }
    StartRead(&request_buffer_);
  }

  void OnReadDone(bool ok) override {
    if (!ok) return finish(grpc::Status(grpc::StatusCode::INTERNAL, "the call carried no request message"));
    std::vector<grpc::Slice> slices;
    std::string bytes;
    if (request_buffer_.Dump(&slices).ok()) {
      for (const grpc::Slice& slice : slices) bytes.append(reinterpret_cast<const char*>(slice.begin()), slice.size());
    }
    if (!request_.ParseFromString(bytes)) {
      return finish(grpc::Status(grpc::StatusCode::INTERNAL, "the request does not decode as AdjudicatesRequest"));
    }
    auto behaviour = behaviour_of(request_);
    if (!behaviour) return finish(grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, behaviour.error()));
    behaviour_ = std::move(*behaviour);
    switch (behaviour_.kind) {
      case Kind::NeverAnswer:
        return;  // OnCancel finishes the call
      case Kind::Status:
        return finish(grpc::Status(static_cast<grpc::StatusCode>(behaviour_.number), behaviour_.message));
      case Kind::NoMessage:
        return finish(grpc::Status::OK);
      case Kind::CloseConnection:
        if (shared_.relay && shared_.relay->drop(peer_port(context_->peer()))) return;  // OnCancel follows
        return finish(grpc::Status(grpc::StatusCode::FAILED_PRECONDITION,
                                   "behave:close-connection needs the relay, and the server runs with --direct"));
      case Kind::DelayMs: {
        auto timer = std::make_shared<asio::steady_timer>(shared_.timers, std::chrono::milliseconds(behaviour_.number));
        timer->async_wait([this, timer, finished = finished_](const asio::error_code&) {
          // The call may have been cancelled, finished and released meanwhile:
          // `this` is touched only by the one who claims the finish.
          if (!finished->exchange(true)) respond();
        });
        return;
      }
      default:
        return answer();
    }
  }

  void OnCancel() override { finish(grpc::Status(grpc::StatusCode::CANCELLED, "cancelled")); }
  void OnWriteDone(bool) override {}
  void OnDone() override { delete this; }

 private:
  void answer() {
    if (!finished_->exchange(true)) respond();
  }

  // Ends the call with its answer; the caller has claimed the finish.
  void respond() {
    auto bytes = answer_bytes(request_, behaviour_, behaviour_.kind == Kind::Metadata ? metadata_report() : "");
    if (!bytes) return Finish(grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, bytes.error()));
    grpc::Slice slice(bytes->data(), bytes->size());
    response_buffer_ = grpc::ByteBuffer(&slice, 1);
    StartWriteAndFinish(&response_buffer_, grpc::WriteOptions(), grpc::Status::OK);
  }

  // Finish exactly once, whoever gets here first (the answer, a timer, a cancellation).
  void finish(const grpc::Status& status) {
    if (finished_->exchange(true)) return;
    Finish(status);
  }

  std::string metadata_report() {
    google::protobuf::Struct report;
    const auto& metadata = context_->client_metadata();
    for (const char* name : {"authorization", "x-api-key", "user-agent"}) {
      std::vector<std::string> values;
      auto [begin, end] = metadata.equal_range(name);
      for (auto it = begin; it != end; ++it) values.emplace_back(it->second.data(), it->second.size());
      report_values(report, name, values);
    }
    std::vector<std::string> timeouts;
    if (shared_.relay) {
      if (auto headers = shared_.relay->last_request_on(peer_port(context_->peer()))) {
        timeouts = header_values(*headers, "grpc-timeout");
      }
    }
    report_values(report, "grpc-timeout", timeouts);
    google::protobuf::Value& deadline = (*report.mutable_fields())["deadline-ms"];
    if (context_->deadline() == std::chrono::system_clock::time_point::max()) {
      deadline.set_null_value(google::protobuf::NULL_VALUE);
    } else {
      const auto left = std::chrono::duration<double, std::milli>(context_->deadline() - std::chrono::system_clock::now());
      deadline.set_number_value(std::round(left.count()));
    }
    std::string json;
    (void)google::protobuf::util::MessageToJsonString(report, &json);
    return json;
  }

  grpc::GenericCallbackServerContext* context_;
  Shared& shared_;
  std::shared_ptr<std::atomic<bool>> finished_;
  grpc::ByteBuffer request_buffer_;
  grpc::ByteBuffer response_buffer_;
  wire::AdjudicatesRequest request_;
  Behaviour behaviour_;
};

class AdjudicatesService final : public grpc::CallbackGenericService {
 public:
  explicit AdjudicatesService(Shared& shared) : shared_(shared) {}
  grpc::ServerGenericBidiReactor* CreateReactor(grpc::GenericCallbackServerContext* context) override {
    return new AdjudicatesReactor(context, shared_);  // released by its OnDone
  }

 private:
  Shared& shared_;
};

std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<Options> parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--direct") {
      options.direct = true;
    } else if (arg == "--port" && has_value) {
      options.port = static_cast<std::uint16_t>(std::stoul(argv[++i]));
    } else if (arg == "--tls-cert" && has_value) {
      options.tls_cert = argv[++i];
    } else if (arg == "--tls-key" && has_value) {
      options.tls_key = argv[++i];
    } else if (arg == "--max-concurrent-streams" && has_value) {
      options.max_concurrent_streams = std::stoi(argv[++i]);
    } else {
      return std::nullopt;
    }
  }
  if (options.tls_cert.empty() != options.tls_key.empty()) return std::nullopt;
  return options;
}

std::shared_ptr<grpc::ServerCredentials> credentials(const Options& options) {
  if (options.tls_cert.empty()) return grpc::InsecureServerCredentials();
  auto cert = read_file(options.tls_cert);
  auto key = read_file(options.tls_key);
  if (!cert || !key) return nullptr;
  grpc::SslServerCredentialsOptions ssl;
  ssl.pem_key_cert_pairs.push_back({*key, *cert});
  return grpc::SslServerCredentials(ssl);
}

// Stdin counts as the parent's lifeline only when it is a pipe or socket: a
// server started from a shell with stdin on /dev/null or a terminal keeps
// running until it is signalled.
void watch_stdin() {
  struct stat info {};
  if (fstat(STDIN_FILENO, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) return;
  std::thread([] {
    char buffer[256];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    kill(getpid(), SIGTERM);
  }).detach();
}

int run(int argc, char** argv) {
  // Block the stop signals before gRPC starts threads, so that only sigwait sees them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  auto options = parse_options(argc, argv);
  if (!options) {
    std::cerr << "usage: revizer_test_server [--port N] [--tls-cert PEM --tls-key PEM] [--direct] [--max-concurrent-streams N]\n";
    return 2;
  }
  auto creds = credentials(*options);
  if (!creds) {
    std::cerr << "revizer_test_server: cannot read the TLS certificate or key\n";
    return 1;
  }

  Shared shared;
  auto timer_work = asio::make_work_guard(shared.timers);
  std::thread timer_thread([&] { shared.timers.run(); });

  AdjudicatesService service(shared);
  grpc::ServerBuilder builder;
  int grpc_port = 0;
  const std::uint16_t grpc_listen = options->direct ? options->port : 0;
  builder.AddListeningPort("127.0.0.1:" + std::to_string(grpc_listen), creds, &grpc_port);
  builder.RegisterCallbackGenericService(&service);
  // Messages up to the client's 16 MiB limit and beyond (the library's
  // default would refuse requests over 4 MiB).
  builder.SetMaxReceiveMessageSize(-1);
  builder.SetMaxSendMessageSize(-1);
  // The streams the server grants a connection (SETTINGS_MAX_CONCURRENT_STREAMS).
  if (options->max_concurrent_streams > 0) {
    builder.AddChannelArgument(GRPC_ARG_MAX_CONCURRENT_STREAMS, options->max_concurrent_streams);
  }
  std::unique_ptr<grpc::Server> server = builder.BuildAndStart();
  std::unique_ptr<H2Relay> relay;
  int status = 0;
  if (!server || grpc_port == 0) {
    std::cerr << "revizer_test_server: cannot listen on 127.0.0.1:" << grpc_listen << "\n";
    status = 1;
  } else {
    try {
      if (!options->direct) relay = std::make_unique<H2Relay>(static_cast<std::uint16_t>(grpc_port), options->port);
    } catch (const std::exception& e) {
      std::cerr << "revizer_test_server: cannot listen on 127.0.0.1:" << options->port << ": " << e.what() << "\n";
      status = 1;
    }
    if (status == 0) {
      shared.relay = relay.get();  // before the port is out, so before any call
      std::cout << (relay ? relay->port() : grpc_port) << std::endl;
      watch_stdin();
      int signal = 0;
      sigwait(&stop_signals, &signal);
    }
    // Calls still waiting (behave:never-answer) are cancelled at the deadline.
    server->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(1));
  }
  timer_work.reset();
  shared.timers.stop();
  timer_thread.join();
  // Every call is over. Nothing is released: the relay stays for a reactor
  // that may still be finishing, and releasing the server would run the gRPC
  // library's own shutdown, which can wait ~10 s for an internal timer (after
  // a large answer, for one). Nothing is left to flush, so leave at once.
  std::cout.flush();
  std::_Exit(status);
}

}  // namespace
}  // namespace revizer::peers

int main(int argc, char** argv) { return revizer::peers::run(argc, argv); }
