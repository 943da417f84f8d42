#!/usr/bin/env bash
# Builds the Linux preset with its test streams and runs the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset linux -DSONVALE_TESTS=ON >/dev/null
cmake --build --preset linux --target packet_handler_bench
./build/linux/bin/packet_handler_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
