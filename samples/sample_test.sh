#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The checked-in sample handheld is exactly what its generator writes.
# Usage: sample_test.sh MAKE_SAMPLE_HANDHELD SAMPLE_DIR WORK_DIR
set -euo pipefail
generator=$1 sample=$2 work=$3

rm -rf "$work"
"$generator" "$work"
if ! diff -r "$sample" "$work"; then
  echo "FAIL: $sample differs from what $generator writes" >&2
  exit 1
fi
echo "PASS: the sample handheld regenerates byte for byte"
