#!/usr/bin/env bash
# Tries the driver as an application would: the test peer rdapeer on a small
# sample SQLite database, and unixODBC's isql on a data source of the driver.
# Everything lives in a temporary directory that goes, with the peer, when
# isql ends.
#
#   bash scripts/try.sh            # isql -v sample demo demo
#   bash scripts/try.sh -b < file  # further arguments go to isql
#
# Needs what the build needs (README: Building), unixODBC's isql, and
# sqlite3 or python3 for the sample database. BUILD_DIR names the build
# directory (build by default); it is configured and built when needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
user=demo
password=demo

for tool in cmake isql; do
  if ! command -v "$tool" >/dev/null; then
    echo "try.sh: $tool is missing (README: Building)" >&2
    exit 1
  fi
done

# Build if needed: a first run configures, later ones only bring the two
# programs up to date.
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j4 --target rdadriver rdapeer >/dev/null

dir=$(mktemp -d "${TMPDIR:-/tmp}/rdatry.XXXXXX")
peer=
cleanup() {
  if [ -n "$peer" ]; then
    kill "$peer" 2>/dev/null || true
    wait "$peer" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The sample database.
sample=$dir/sample.sqlite
schema="CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(40) NOT NULL, born DATE, score DOUBLE);
INSERT INTO people VALUES (1, 'Ada', '1815-12-10', 9.5);
INSERT INTO people VALUES (2, 'Alan', '1912-06-23', 9.25);
INSERT INTO people VALUES (3, 'Grace', '1906-12-09', NULL);"
if command -v sqlite3 >/dev/null; then
  sqlite3 "$sample" "$schema"
elif command -v python3 >/dev/null; then
  python3 -c 'import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.executescript(sys.argv[2]); c.commit()' \
    "$sample" "$schema"
else
  echo "try.sh: sqlite3 or python3 is needed for the sample database" >&2
  exit 1
fi

# The peer, on a free port of 127.0.0.1 (the first line it writes); it
# ends when this script ends it, or after an hour without a connection.
mkdir -p "$dir/peer" "$dir/schema"
"$build/tests/rdapeer" --dir "$dir/peer" --db "$sample" --user "$user:$password" --idle 3600 \
  >"$dir/peer.out" 2>"$dir/peer.err" &
peer=$!
port=
for _ in $(seq 100); do
  port=$(head -n 1 "$dir/peer.out" 2>/dev/null || true)
  [ -n "$port" ] && break
  if ! kill -0 "$peer" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "try.sh: rdapeer did not start:" >&2
  cat "$dir/peer.err" >&2
  exit 1
fi

# The driver's configuration: the resource "sample" is the peer.
cat >"$dir/mirodel.ini" <<EOF
[COMMON]
qv_root=$dir
SchemaPath=$dir/schema/
[CLIENT]
RESPONSE_TIME_OUT=60
EOF
cat >"$dir/schema/qvdrd.ini" <<EOF
[sample]
ADDRESS=127.0.0.1
PORT=$port
EOF
# unixODBC's: the driver and a data source of it, read from this directory
# only.
cat >"$dir/odbcinst.ini" <<EOF
[rdadriver]
Description=RDA driver
Driver=$build/librdadriver.so
EOF
cat >"$dir/odbc.ini" <<EOF
[sample]
Driver=rdadriver
Description=rdapeer on a sample SQLite database
EOF

# The driver's start-up log goes with the directory too.
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini MIRODEL_INI=$dir/mirodel.ini DEFAULT_TRACE_OUTPUT=$dir/qvstart.log
unset ODBCINSTINI
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi

echo "rdapeer serves $sample on 127.0.0.1:$port; isql on the data source \"sample\" as $user."
echo "Try: SELECT * FROM people   (quit ends isql, the peer and the directory)"
status=0
isql -v sample "$user" "$password" "$@" || status=$?
exit "$status"
