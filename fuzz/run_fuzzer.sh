#!/usr/bin/env bash
# run_fuzzer.sh FUZZER INPUTS WORKDIR SECONDS: a short libFuzzer session that
# starts from the kept inputs and writes anything new to a scratch folder.
set -euo pipefail
fuzzer=$1 inputs=$2 work=$3 seconds=$4
rm -rf "$work"; mkdir -p "$work/corpus" "$work/artifacts"
[ -d "$inputs" ] && cp -r "$inputs/." "$work/corpus/" 2>/dev/null || true
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$work/corpus"
