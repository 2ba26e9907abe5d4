// The host at rest: eight open lines with decoders and no data, triggered at
// the default 20 Hz. Reports the process's CPU time as a share of one core
// (target: under 2 %). NYX_IDLE_SECONDS sets the run length (default 10).
#include <benchmark/benchmark.h>

#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "nyxhost/host_runner.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
};

void IdleHostEightLines(benchmark::State& state) {
  const char* length = std::getenv("NYX_IDLE_SECONDS");
  const double seconds = length ? std::atof(length) : 10.0;
  std::vector<Pty> ptys(8);
  HostConfig config;
  for (int i = 0; i < 8; ++i) {
    char name[256] = {};
    openpty(&ptys[i].master, &ptys[i].slave, name, nullptr, nullptr);
    ptys[i].path = name;
    config.comPaths[i + 1] = name;
    config.Line(i + 1).decode = "GPGGA + ZDA";
  }
  config.enable = true;
  config.records = "/dev/null";
  config.duration = seconds;
  for (auto _ : state) {
    HostRunner runner(config);
    std::string error;
    if (runner.Start(error) != kHostOk) {
      state.SkipWithError(error.c_str());
      break;
    }
    const double cpu = CpuSeconds();
    const auto wall = std::chrono::steady_clock::now();
    runner.Run();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    state.counters["cpu_percent_of_one_core"] = 100.0 * (CpuSeconds() - cpu) / elapsed;
    state.counters["triggers_per_s"] = static_cast<double>(runner.Triggers()) / elapsed;
    runner.Shutdown(error);
  }
  for (const Pty& pty : ptys) {
    close(pty.master);
    close(pty.slave);
  }
}

}  // namespace

BENCHMARK(IdleHostEightLines)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
