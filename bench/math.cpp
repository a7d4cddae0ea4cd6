// Sine, cosine and arctangent: the program's correctly rounded functions beside
// the platform's, on the same 10^6 arguments from the program's range (angles
// in [-40, 40], ratios in [-4, 4]). Time per argument.
#include "math/CorrectlyRounded.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

const std::vector<double>& arguments(double range) {
    static std::vector<double> angles, ratios;
    std::vector<double>& v = range > 10 ? angles : ratios;
    if (v.empty()) {
        std::mt19937_64 g(2026);
        std::uniform_real_distribution<double> d(-range, range);
        v.resize(1000000);
        for (double& x : v) {
            x = d(g);
        }
    }
    return v;
}

template <double (*F)(double)> void over(benchmark::State& state, double range) {
    const std::vector<double>& xs = arguments(range);
    for (auto _ : state) {
        double sum = 0;
        for (double x : xs) {
            sum += F(x);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(xs.size()));
}

double platformSin(double x) {
    return std::sin(x);
}
double platformCos(double x) {
    return std::cos(x);
}
double platformAtan(double x) {
    return std::atan(x);
}

void SinPlatform(benchmark::State& s) {
    over<platformSin>(s, 40);
}
void SinOurs(benchmark::State& s) {
    over<zm::cr::sin>(s, 40);
}
void CosPlatform(benchmark::State& s) {
    over<platformCos>(s, 40);
}
void CosOurs(benchmark::State& s) {
    over<zm::cr::cos>(s, 40);
}
// Both of one angle, as the linkage solver and the travel curve take them.
double platformSinPlusCos(double x) {
    return std::sin(x) + std::cos(x);
}
double oursSinPlusCos(double x) {
    const zm::cr::SinCos sc = zm::cr::sincos(x);
    return sc.sin + sc.cos;
}

void SinCosPlatform(benchmark::State& s) {
    over<platformSinPlusCos>(s, 40);
}
void SinCosOurs(benchmark::State& s) {
    over<oursSinPlusCos>(s, 40);
}
void AtanPlatform(benchmark::State& s) {
    over<platformAtan>(s, 4);
}
void AtanOurs(benchmark::State& s) {
    over<zm::cr::atan>(s, 4);
}

} // namespace

BENCHMARK(SinPlatform)->Unit(benchmark::kMillisecond);
BENCHMARK(SinOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(CosPlatform)->Unit(benchmark::kMillisecond);
BENCHMARK(CosOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(SinCosPlatform)->Unit(benchmark::kMillisecond);
BENCHMARK(SinCosOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(AtanPlatform)->Unit(benchmark::kMillisecond);
BENCHMARK(AtanOurs)->Unit(benchmark::kMillisecond);
