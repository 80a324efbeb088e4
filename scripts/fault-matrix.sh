#!/usr/bin/env bash
# Runs quillon-cli against tavro-sim with each gateway fault on, for every command and one chip
# of each programming family, and judges each run by what the simulated chip holds afterwards:
# a run may fail (exit 1, its last line saying which command) or succeed with the right result,
# never succeed with a wrong one, hang or crash; an answer that comes whole within the answer
# bound, late or split, must succeed. Every run ends with the socket switched off, unless the
# gateway stopped hearing the program (it went silent or hung up). Prints one line per case (its
# verdict, exit status and the socket's supply at the end) and then "N passed, M failed"; exits 1
# when any case failed.
#
#   scripts/fault-matrix.sh [build folder] [JOBS] [QUILLON-CLI OPTIONS...]
#   (default build folder: build; a relative one is taken from the source tree)
#
# The options are added to every quillon-cli run, e.g. --no-answer-check to see what the check
# catches. With KEEP=1 the cases' folders (output, trace, what the chip held, milliseconds taken)
# stay in $TMPDIR for a look.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build="$root/$build" ;; esac
jobs=${2:-4}
shift $(( $# < 2 ? $# : 2 ))
extra=("$@")
cli="$build/src/cli/quillon-cli"
sim="$build/sim/tavro-sim"
for tool in "$cli" "$sim"; do
  [ -x "$tool" ] || { echo "fault-matrix: $tool is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-faults-XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# One chip per family: paged parallel, classic parallel, serial. Sizes in bytes, and fuse bytes
# (low first, lock last) that differ from the factory ones in a bit the simulator keeps.
chips="ATtiny2313 AT90S2313 ATtiny13"
declare -A flash=([ATtiny2313]=2048 [AT90S2313]=2048 [ATtiny13]=1024)
declare -A eeprom=([ATtiny2313]=128 [AT90S2313]=128 [ATtiny13]=64)
declare -A fuses=([ATtiny2313]=65,DF,FF,FF [AT90S2313]=DE,FF [ATtiny13]=6B,FF,FF)
commands="read-program write-program verify-program read-data write-data erase read-fuses write-fuses read-calibration"

head -c 256 /dev/urandom > "$work/program.bin"
head -c 48 /dev/urandom > "$work/data.bin"
for chip in $chips; do
  head -c "${flash[$chip]}" /dev/urandom > "$work/$chip.flash"
  head -c "${eeprom[$chip]}" /dev/urandom > "$work/$chip.eeprom"
  # The flash with its last byte changed: a verify against it must never pass.
  cp "$work/$chip.flash" "$work/$chip.differs.bin"
  last=$(( ${flash[$chip]} - 1 ))
  printf "$(printf '\\%03o' $(( ( $(od -An -tu1 -j "$last" -N1 "$work/$chip.flash") + 1 ) % 256 )))" |
    dd of="$work/$chip.differs.bin" bs=1 seek="$last" conv=notrunc status=none
  { cat "$work/program.bin"; head -c $(( ${flash[$chip]} - 256 )) /dev/zero | tr '\0' '\377'; } > "$work/$chip.written.flash"
  { cat "$work/data.bin"; head -c $(( ${eeprom[$chip]} - 48 )) /dev/zero | tr '\0' '\377'; } > "$work/$chip.written.eeprom"
  head -c "${flash[$chip]}" /dev/zero | tr '\0' '\377' > "$work/$chip.erased.flash"
done
export work cli sim
: > "$work/extra"
[ ${#extra[@]} -gt 0 ] && printf '%q ' "${extra[@]}" > "$work/extra"

# run CHIP COMMAND NAME [SIM OPTIONS...]: one case in its own folder; prints its verdict line.
run_case() {
  local chip=$1 command=$2 name=$3
  shift 3
  local dir="$work/$chip.$command.$name"
  mkdir -p "$dir"
  local preload=(--flash "$work/$chip.flash")
  # A parallel EEPROM write only clears bits, as on the silicon: it starts from an erased one.
  [ "$command" != write-data ] && preload+=(--eeprom "$work/$chip.eeprom")
  "$sim" --chip "$chip" "${preload[@]}" --save-flash "$dir/flash" --save-eeprom "$dir/eeprom" \
    --save-fuses "$dir/fuses" --save-power "$dir/power" --trace "$dir/trace" "$@" > "$dir/sim.out" 2> "$dir/sim.err" &
  local simpid=$!
  for _ in $(seq 100); do [ -s "$dir/sim.out" ] && break; sleep 0.05; done
  local port
  port=$(head -n1 "$dir/sim.out")
  local args=()
  case $command in
    read-program) args=(read-program "$dir/out.bin") ;;
    read-data) args=(read-data "$dir/out.bin") ;;
    write-program) args=(write-program "$work/program.bin") ;;
    write-data) args=(write-data "$work/data.bin") ;;
    verify-program) args=(verify-program "$work/$chip.differs.bin") ;;
    write-fuses) args=(write-fuses "${fuses[$chip]}") ;;
    *) args=("$command") ;;
  esac
  local extra
  eval "extra=($(cat "$work/extra"))"
  local t0=$(date +%s%N)
  timeout 30 "$cli" --port "$port" --delay 0 --chip "$chip" --yes --force "${extra[@]}" "${args[@]}" > "$dir/out" 2> "$dir/err"
  echo $? > "$dir/status"
  echo $(( ($(date +%s%N) - t0) / 1000000 )) > "$dir/ms"
  kill -TERM "$simpid" 2> /dev/null
  wait "$simpid" 2> /dev/null
  echo "$chip $command $name"
}
export -f run_case
declare -p fuses > "$work/fuses.sh"

# The clean runs first: they give each case's command count for the faults that strike part way.
for chip in $chips; do
  for command in $commands; do
    echo "$chip $command none"
  done
done | xargs -P "$jobs" -L1 bash -c 'source "$work/fuses.sh"; run_case "$0" "$1" "$2"' > /dev/null

cases="$work/cases"
: > "$cases"
for chip in $chips; do
  for command in $commands; do
    base="$work/$chip.$command.none"
    sent=$(grep -c '^-> ' "$base/trace" 2>/dev/null || echo 0)
    answers=$(grep -c '^<- ' "$base/trace" 2>/dev/null || echo 0)
    {
      echo "$chip $command silent-half --silent-after $(( sent / 2 ))"
      echo "$chip $command silent-end --silent-after $(( sent > 2 ? sent - 2 : 1 ))"
      echo "$chip $command hangup-half --hangup-after $(( sent / 2 ))"
      echo "$chip $command stray-once --stray 55@$(( answers / 2 > 1 ? answers / 2 : 2 ))"
      echo "$chip $command stray-every --stray-every 00,55@2"
      # One answer damaged on the line: its first byte lost or doubled; or whole but late.
      mid=$(( answers / 2 > 1 ? answers / 2 : 2 ))
      echo "$chip $command lose-byte --lose-byte 0@$mid"
      echo "$chip $command double-byte --double-byte 0@$mid"
      echo "$chip $command late-answer --late-answer 500@$mid"
      # RDY/BSY matters only in parallel mode, the SPI answer only in serial mode.
      if [ "$chip" = ATtiny13 ]; then
        echo "$chip $command short-spi-0 --short-spi 0"
        # An answer split by a pause longer than a USB adapter's frames, the first one included.
        echo "$chip $command split-answer --split-answer 2,30@$mid"
        echo "$chip $command split-first --split-answer 1,30@2"
        # A short answer ends at a 20 ms pause: leave the flash's thousand answers to the others.
        case $command in *-program) ;; *) echo "$chip $command short-spi-2 --short-spi 2" ;; esac
      else
        echo "$chip $command never-ready --never-ready"
      fi
    } >> "$cases"
  done
done
xargs -P "$jobs" -L1 bash -c 'source "$work/fuses.sh"; run_case "$@"' _ < "$cases" > /dev/null

# The verdict of one case: its folder against the clean run of the same command.
judge() {
  local chip=$1 command=$2 name=$3
  local dir="$work/$chip.$command.$name" base="$work/$chip.$command.none"
  local status clean power
  status=$(cat "$dir/status" 2> /dev/null || echo missing)
  clean=$(cat "$base/status" 2> /dev/null || echo missing)
  power=$(cat "$dir/power" 2> /dev/null || echo missing)
  # Only a gateway that stopped executing or hung up may leave the socket powered.
  case $name in
    silent-* | hangup-*) ;;
    *) [ "$power" = off ] || { echo "the socket ends $power"; return; } ;;
  esac
  case $status in
    0 | 1) ;;
    124) echo "hung (killed after 30 s)"; return ;;
    *) echo "exit status $status"; return ;;
  esac
  if [ "$status" = 1 ]; then
    tail -n1 "$dir/err" | grep -q '^quillon-cli: \(failed\|cannot open\)' || { echo "exit 1 without a last line naming the failure"; return; }
    if [ "$clean" = 0 ] && case $name in none | short-spi-2 | late-* | split-*) true ;; *) false ;; esac; then
      echo "failed although the gateway answers everything that is used"; return
    fi
    case $command in
      read-program | read-data) [ -e "$dir/out.bin" ] && { echo "a failed read left a file"; return; } ;;
    esac
    return
  fi
  [ "$clean" = 0 ] || { echo "exit 0 where the clean run fails"; return; }
  case $command in
    read-program) cmp -s "$dir/out.bin" "$work/$chip.flash" || echo "exit 0, the file differs from the flash" ;;
    read-data) cmp -s "$dir/out.bin" "$work/$chip.eeprom" || echo "exit 0, the file differs from the EEPROM" ;;
    write-program) cmp -s "$dir/flash" "$work/$chip.written.flash" || echo "exit 0, the flash does not hold the file" ;;
    write-data) cmp -s "$dir/eeprom" "$work/$chip.written.eeprom" || echo "exit 0, the EEPROM does not hold the file" ;;
    erase) cmp -s "$dir/flash" "$work/$chip.erased.flash" || echo "exit 0, the flash is not erased" ;;
    read-fuses | read-calibration)
      [ "$(grep -E '^([A-Za-z ]+: 0x|calibration )' "$dir/out")" = "$(grep -E '^([A-Za-z ]+: 0x|calibration )' "$base/out")" ] ||
        echo "exit 0, other values than the chip holds" ;;
    write-fuses) cmp -s "$dir/fuses" "$base/fuses" || echo "exit 0, the fuses are not what was written" ;;
  esac
}

passed=0
failed=0
printf '%-6s %-10s %-16s %-12s %-4s %s\n' verdict chip command fault exit socket
while read -r chip command name _; do
  why=$(judge "$chip" "$command" "$name")
  dir="$work/$chip.$command.$name"
  row=$(printf '%-10s %-16s %-12s %-4s %s' "$chip" "$command" "$name" "$(cat "$dir/status" 2> /dev/null || echo -)" \
    "$(cat "$dir/power" 2> /dev/null || echo missing)")
  if [ -z "$why" ]; then
    passed=$((passed + 1))
    echo "pass   $row"
  else
    failed=$((failed + 1))
    echo "FAILED $row: $why"
  fi
done < <(for chip in $chips; do for command in $commands; do echo "$chip $command none"; done; done; cat "$cases")
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
