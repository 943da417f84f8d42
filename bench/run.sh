#!/usr/bin/env bash
# Builds the Linux preset with its test streams and runs the benchmarks: the
# packet handler's decoding, then the spectrum meter beside FFTW and KissFFT,
# which ends with its medians and ratios, then the two ways of correcting a
# clock drift side by side. Arguments go to the Google Benchmark binaries.
# SONVALE_BENCHES picks some of them, SONVALE_BENCH_BUILD another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SONVALE_BENCH_BUILD:-build/linux}
read -r -a benches <<<"${SONVALE_BENCHES:-packet_handler_bench spectrum_bench drift_correction_bench}"
./scripts/setup.sh
cmake --preset linux -B "$build" -DSONVALE_TESTS=ON >/dev/null
cmake --build "$build" --target "${benches[@]}"
for bench in "${benches[@]}"; do
  if [ "$bench" = drift_correction_bench ]; then
    "$build/bin/$bench"
    continue
  fi
  extra=()
  # Repetitions interleaved, so that a busy spell on a shared machine falls on
  # all four and the ratios hold.
  [ "$bench" = spectrum_bench ] && extra=(--benchmark_enable_random_interleaving=true)
  "$build/bin/$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "${extra[@]}" "$@"
done
