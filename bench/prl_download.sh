#!/usr/bin/env bash
# Figures of a roaming list download through velmo-cli on the stand-in: a 16 KB list and a 65 000-byte one (the
# largest a two-byte length allows, rounded), each timed by the client, with its blocks and blocks per second.
#   bash bench/prl_download.sh [BIN_DIR]
# Without BIN_DIR it installs what is missing and builds build/bench; with it, it runs the programs there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ge 1 ]; then
  bin=$(cd "$1" && pwd)
else
  dir=$root/build/bench
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh" "$dir" -DVELMO_BUILD_TESTS=OFF
  bin=$dir/bin
fi
work=$(mktemp -d)
trap 'kill "${velmo_sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$root/scripts/standin-env.sh"
velmo_private_env "$work"
velmo_start_standin "$bin" healthy-evdo >/dev/null
port=$velmo_sim_port

# A well-formed list: length and version first (most significant byte first), stable record bytes, and the
# CRC-16 of everything before it last.
make_prl() {
  perl -e '
    my ($size, $version) = @ARGV;
    my @p = map { ($_ * 91 + 17) & 0xFF } 0 .. $size - 1;
    @p[0 .. 3] = ($size >> 8, $size & 0xFF, $version >> 8, $version & 0xFF);
    my $crc = 0xFFFF;
    for my $b (@p[0 .. $size - 3]) {
      $crc ^= $b << 8;
      $crc = ($crc & 0x8000 ? ($crc << 1) ^ 0x1021 : $crc << 1) & 0xFFFF for 1 .. 8;
    }
    @p[$size - 2, $size - 1] = ($crc >> 8, $crc & 0xFF);
    print pack("C*", @p);
  ' "$1" "$2" >"$3"
}

field() { sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }

echo "roaming list download on the stand-in (port $port), one velmo-cli session each:"
version=4001
for size in 16384 65000; do
  file=$work/list-$size.prl
  make_prl "$size" "$version" "$file"
  out=$("$bin/velmo-cli" --port "$port" --spc 000000 --json prl download "$file")
  blocks=$(field blocks <<<"$out")
  bytes=$(field bytes <<<"$out")
  ms=$(field milliseconds <<<"$out")
  stored=$("$bin/velmo-modem-sim" ctl get prl_size)
  shown=$("$bin/velmo-modem-sim" ctl get prl_version)
  if [ "$stored" != "ok $size" ] || [ "$shown" != "ok $version" ]; then
    echo "the stand-in did not keep the list: $stored, $shown (client said: $out)" >&2
    exit 1
  fi
  awk -v b="$bytes" -v n="$blocks" -v ms="$ms" \
    'BEGIN { printf "  %6d bytes: %4d blocks in %6d ms, %7.1f blocks/s, %6.1f KB/s\n", b, n, ms, n * 1000 / (ms > 0 ? ms : 1), b / 1.024 / (ms > 0 ? ms : 1) }'
  version=$((version + 1))
done
