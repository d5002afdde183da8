#!/usr/bin/env bash
# A saved document must be readable by an independent compound-file reader.
# Usage: olefile_check.sh <build-dir>
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$build/bin"
rm -f olefile_sample.pvd
"$root/scripts/wine-run" "$build" ./write_sample.exe olefile_sample.pvd
/usr/bin/python3 "$root/tests/tools/check_olefile.py" olefile_sample.pvd
rm -f olefile_sample.pvd
