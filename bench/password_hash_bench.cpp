// Cost of a stored password: hashing one (adding a user, changing a password) and checking one
// (every login). Argon2id is slow on purpose; a login should still answer well within a second.

#include "security/password_hash.h"

#include <benchmark/benchmark.h>

namespace {

void HashPassword(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(hashPassword("correct horse battery staple"));
    state.SetLabel("Argon2id, interactive limits");
}
BENCHMARK(HashPassword)->Unit(benchmark::kMillisecond);

void VerifyPassword(benchmark::State& state)
{
    const std::string stored = hashPassword("correct horse battery staple");
    for (auto _ : state)
        benchmark::DoNotOptimize(verifyPasswordHash(stored, "correct horse battery stapler"));
}
BENCHMARK(VerifyPassword)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
