# Shared by the benchmark scripts: timing, medians and fresh output folders.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$root/build/bin

now() { date +%s.%N; }

# seconds COMMAND...: runs the command and prints how long it took.
seconds() {
  local start end
  start=$(now)
  "$@"
  end=$(now)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# need COMMAND PACKAGE: stops, saying what to install, when a tool is missing;
# a benchmark never installs anything itself.
need() {
  command -v "$1" > /dev/null ||
    { echo "$(basename "$0"): needs $1 (Debian package $2)" >&2; exit 1; }
}

need_build() {
  [[ -x $bin/quenby-rename ]] || { echo "build first: scripts/build" >&2; exit 1; }
}

# Reads every file once so that no variant pays for a cold cache alone.
warm() { find "$1" -type f -exec cat {} + > /dev/null; }
