# Timing helpers shared by the bench scripts (sourced, not run).

# best_ms RUNS COMMAND...: the best wall time in milliseconds of RUNS runs of
# COMMAND, with standard input from $INPUT (default /dev/null) and the shell
# text $PREPARE run before each (untimed). Millisecond precision, for calls
# that take a few milliseconds.
best_ms() {
  local runs=$1 best="" i start end
  shift
  for ((i = 0; i < runs; i++)); do
    [ -z "${PREPARE:-}" ] || eval "$PREPARE"
    start=$EPOCHREALTIME
    "$@" <"${INPUT:-/dev/null}" >/dev/null 2>&1
    end=$EPOCHREALTIME
    best=$(awk -v a="$start" -v b="$end" -v best="$best" \
      'BEGIN { t = (b - a) * 1000; if (best == "" || t < best) best = t; printf "%.1f", best }')
  done
  echo "$best"
}

# timed KEY COMMAND...: one run of COMMAND with its wall and CPU time (user
# + system, children included) in WALL[KEY] and CPU[KEY], seconds; its exit
# status in STATUS[KEY]. Output goes to $TIMED_OUT (default /dev/null).
declare -A WALL CPU STATUS
timed() {
  local key=$1 out secs user sys
  shift
  out=$(mktemp)
  /usr/bin/time -f '%e %U %S' -o "$out" "$@" >"${TIMED_OUT:-/dev/null}" 2>&1
  STATUS[$key]=$?
  read -r secs user sys < <(tail -n 1 "$out")
  rm -f "$out"
  WALL[$key]=$secs
  CPU[$key]=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
}

# best_timed KEY RUNS COMMAND...: timed, best wall time of RUNS runs (with
# $PREPARE before each).
best_timed() {
  local key=$1 runs=$2 i best="" best_cpu="" best_status=""
  shift 2
  for ((i = 0; i < runs; i++)); do
    [ -z "${PREPARE:-}" ] || eval "$PREPARE"
    timed "$key" "$@"
    if [ -z "$best" ] || awk -v a="${WALL[$key]}" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=${WALL[$key]} best_cpu=${CPU[$key]} best_status=${STATUS[$key]}
    fi
  done
  WALL[$key]=$best CPU[$key]=$best_cpu STATUS[$key]=$best_status
}

ratio_of() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }
