// The per-call cost of the authorization metadata (bearer mode: no lock;
// Cloud Run mode: one reader lock and a shared-buffer copy) and of one
// durable env-file rewrite.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/auth/auth_interceptor.h"
#include "common/env/env_rewrite.h"

namespace revizer::common {
namespace {

void BM_BearerInterceptorCall(benchmark::State& state) {
  const auto interceptor = *bearer_header_value(std::string(40, 't'));
  RequestMetadata metadata;
  for (auto _ : state) {
    metadata.clear();
    benchmark::DoNotOptimize(interceptor.call_now(metadata));
  }
}
BENCHMARK(BM_BearerInterceptorCall);

void BM_CloudRunInterceptorCall(benchmark::State& state) {
  // A fresh token throughout: the launcher is never asked for a fetch.
  IdentityTokenSource source{[](const std::string&) -> Result<std::string, std::string> { return std::string(900, 'j'); },
                             [] { return std::chrono::steady_clock::now(); }, [](std::function<void()>) {}};
  const auto interceptor =
      *cloud_run_interceptor_from("https://svc.run.app", std::string(40, 'k'), std::string(900, 'j'), source);
  RequestMetadata metadata;
  for (auto _ : state) {
    metadata.clear();
    benchmark::DoNotOptimize(interceptor.call_now(metadata));
  }
}
BENCHMARK(BM_CloudRunInterceptorCall)->Threads(1)->Threads(4);

void BM_EnvFileRewrite(benchmark::State& state) {
  std::string dir = (std::filesystem::temp_directory_path() / "revizer-bench-XXXXXX").string();
  ::mkdtemp(dir.data());
  const std::string path = dir + "/env";
  EnvUpdates updates;
  (void)updates.set("TAVIMOR_API_TOKEN", "token");
  for (auto _ : state) benchmark::DoNotOptimize(apply_env_updates(path, updates));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_EnvFileRewrite)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace revizer::common
