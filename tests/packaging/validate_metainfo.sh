#!/usr/bin/env bash
# The AppStream metadata passes appstreamcli's validation without errors (warnings are printed), and its
# newest release is the project's version.
# Usage: validate_metainfo.sh METAINFO VERSION
set -uo pipefail
metainfo=$1
version=$2
report=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)
echo "$report"
if grep -q '^E:' <<<"$report"; then
  echo "FAIL: appstreamcli reports errors"
  exit 1
fi
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
if [ "$newest" != "$version" ]; then
  echo "FAIL: the newest release in $(basename "$metainfo") is '$newest', the project's version is $version"
  exit 1
fi
