// The clock models' hot paths: a sample into a full ring (one fit over 60
// entries) and a conversion (a walk back from the newest entry).
#include <benchmark/benchmark.h>

#include <memory>

#include "host/report.h"
#include "time/comm_time.h"
#include "time/time_fit_buf.h"

namespace {

constexpr double kRate = 1.00005;
constexpr double kOffset = 1.45e9;

void FillRing(CTimeFitBuf& buf, double& x) {
  for (int k = 0; k < 60; ++k, x += 1.0) buf.Add(false, x, kRate * x + kOffset);
}

void BM_FitBufAddFullRing(benchmark::State& state) {
  CTimeFitBuf buf;
  double x = 1000.0;
  FillRing(buf, x);
  for (auto _ : state) {
    buf.Add(false, x, kRate * x + kOffset);
    x += 1.0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FitBufAddFullRing);

// Arg: how many samples back from the newest the converted time lies (0: a
// time after the newest sample, as live packets are; 58: the oldest usable line).
void BM_ConvertTime(benchmark::State& state) {
  CECommTime time;
  time.m_bUseGps = state.range(1);
  double x = 1000.0;
  FillRing(time.m_gpsBuf, x);
  x = 1000.0;
  FillRing(time.m_pcBuf, x);
  const double t = (x - 1.0) - static_cast<double>(state.range(0)) + 0.5;
  double sum = 0.0;
  for (auto _ : state) {
    sum += time.ConvertTime(t).GetValue();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertTime)
    ->ArgNames({"back", "gps"})
    ->Args({0, 1})
    ->Args({29, 1})
    ->Args({58, 1})
    ->Args({0, 0})
    ->Args({58, 0});

// A conversion that no model covers falls through both and counts a miss.
void BM_ConvertTimeMiss(benchmark::State& state) {
  CECommTime time;
  time.m_bUseGps = 1;
  double x = 1000.0;
  FillRing(time.m_gpsBuf, x);
  x = 1000.0;
  FillRing(time.m_pcBuf, x);
  double sum = 0.0;
  for (auto _ : state) {
    sum += time.ConvertTime(10.0).GetValue();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertTimeMiss);

}  // namespace
