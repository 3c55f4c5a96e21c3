#!/usr/bin/env bash
# Boots Launcher.efi on OVMF IA32 in QEMU one or more times on the same
# variable store and checks the report it prints on the serial console.
#
#   boot-launcher.sh --launcher FILE --work DIR --expect-status NAME
#                    [--protocols VALUE] [--boots N] [--timeout SECONDS]
#                    [--expect REGEX]... [--host-sim FILE [--host-sim-arg ARG]...]
#                    [--expect-stored-config PACKAGE]
#
# --protocols VALUE   written to \launcher.cfg as protocols=VALUE; without it
#                     there is no file and the launcher installs both protocols
# --expect-status     the status name TouchUpdate must return on every boot
# --expect REGEX      an extended regex a report line must match on every boot
# --host-sim FILE     the host simulator: the first boot (a fresh variable
#                     store, like the simulator's) must end with the status the
#                     same product and model reach on the host
# --host-sim-arg ARG  an argument for that run (such as --package FILE)
# --expect-stored-config PACKAGE
#                     every configuration line of PACKAGE must stand in the
#                     model's stored configuration after every boot
#
# Every boot must end its report, and each boot's "BX_ESRT before" must equal
# the previous boot's "BX_ESRT after": the variable store survives the restart.
#
# Exit 77 (skipped) when QEMU or the OVMF IA32 firmware is missing, unless
# CI is set (CI=true), where that is a failure.
set -u

launcher="" work="" protocols="" boots=1 timeout_s=120 expect_status="" host_sim=""
stored_config_package=""
expects=()
host_sim_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --launcher) launcher=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --protocols) protocols=$2; shift 2 ;;
    --boots) boots=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --expect-status) expect_status=$2; shift 2 ;;
    --expect) expects+=("$2"); shift 2 ;;
    --host-sim) host_sim=$2; shift 2 ;;
    --host-sim-arg) host_sim_args+=("$2"); shift 2 ;;
    --expect-stored-config) stored_config_package=$2; shift 2 ;;
    *) echo "boot-launcher: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$launcher" ] || [ -z "$work" ] || [ -z "$expect_status" ]; then
  echo "boot-launcher: --launcher, --work and --expect-status are required" >&2
  exit 2
fi

qemu=${TOUCH_QEMU:-qemu-system-i386}
code_fd=${TOUCH_OVMF_CODE:-/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd}
vars_fd=${TOUCH_OVMF_VARS:-/usr/share/OVMF/OVMF32_VARS_4M.fd}

missing=""
command -v "$qemu" >/dev/null 2>&1 || missing="$missing $qemu"
[ -r "$code_fd" ] || missing="$missing $code_fd"
[ -r "$vars_fd" ] || missing="$missing $vars_fd"
if [ -n "$missing" ]; then
  case "${CI:-}" in
    "" | false | 0) in_ci=no ;;
    *) in_ci=yes ;;
  esac
  if [ "$in_ci" = yes ]; then
    echo "FAIL: missing in CI:$missing (run scripts/install-deps.sh)"
    exit 1
  fi
  echo "SKIP: missing:$missing"
  exit 77
fi
if [ ! -r "$launcher" ]; then
  echo "FAIL: $launcher not built"
  exit 1
fi

rm -rf "$work"
mkdir -p "$work/esp/EFI/BOOT"
cp "$launcher" "$work/esp/EFI/BOOT/BOOTIA32.EFI"
if [ -n "$protocols" ]; then
  printf 'protocols=%s\n' "$protocols" >"$work/esp/launcher.cfg"
fi
cp "$vars_fd" "$work/VARS.fd"
chmod u+w "$work/VARS.fd"

host_returned=""
if [ -n "$host_sim" ]; then
  # Its exit status follows the product's; only the printed status matters.
  "$host_sim" "${host_sim_args[@]}" >"$work/host-sim.log" 2>&1 </dev/null
  host_returned=$(grep -m 1 -o 'TouchUpdate returned [A-Z_]* (0x[0-9A-F]*)' "$work/host-sim.log")
  echo "--- host simulator: ${host_returned:-no status printed} ---"
fi

failures=0
fail() {
  echo "FAIL (boot $boot): $*"
  failures=$((failures + 1))
}

# The report line after "PREFIX: " in a boot's log, empty if absent.
report_value() {
  sed -n "s/^launcher: $2: //p" "$1" | head -n 1
}

previous_after=""
for boot in $(seq 1 "$boots"); do
  raw="$work/serial-$boot.raw"
  log="$work/serial-$boot.log"
  (
    cd "$work" &&
      timeout --kill-after=10 "$timeout_s" "$qemu" -machine q35,smm=on \
        -global driver=cfi.pflash01,property=secure,value=on \
        -drive if=pflash,format=raw,unit=0,readonly=on,file="$code_fd" \
        -drive if=pflash,format=raw,unit=1,file=VARS.fd \
        -drive format=raw,file=fat:rw:esp \
        -display none -serial stdio -net none -m 256
  ) </dev/null >"$raw" 2>&1
  rc=$?
  # The console mirror carries terminal control sequences and CR line ends.
  sed -e 's/\x1b\[[0-9;=?]*[A-Za-z]//g' -e 's/\r$//' "$raw" >"$log"

  echo "--- boot $boot of $boots (qemu exit $rc) ---"
  grep '^launcher: ' "$log"

  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    fail "did not shut down within $timeout_s s"
  elif [ "$rc" -ne 0 ]; then
    fail "qemu exited with $rc"
  fi
  if ! grep -qx 'launcher: end of report' "$log"; then
    fail "the report did not end; serial output follows"
    tail -n 40 "$log"
    continue
  fi
  if ! grep -qE "^launcher: TouchUpdate returned $expect_status \(0x[0-9A-F]{8}\)\$" "$log"; then
    fail "expected 'TouchUpdate returned $expect_status', got '$(grep '^launcher: TouchUpdate returned' "$log")'"
  fi
  for pattern in "${expects[@]}"; do
    if ! grep -qE "^launcher: ($pattern)" "$log"; then
      fail "no report line matches '$pattern'"
    fi
  done

  if [ -n "$stored_config_package" ]; then
    # A package's configuration lines are the only lines of four-digit
    # fields; each must stand as the model's stored object instance.
    expected="$work/stored-expected.txt"
    grep -aE '^[0-9A-F]{4} [0-9A-F]{4} [0-9A-F]{4}( [0-9A-F]{2})*'$'\r''?$' "$stored_config_package" |
      sed -E -e 's/\r$//' -e 's/^([0-9A-F]{4}) ([0-9A-F]{4}) [0-9A-F]{4}( (.*))?$/launcher: model: stored \1 \2: \4/' -e 's/: $/:/' >"$expected"
    lines=$(wc -l <"$expected")
    [ "$lines" -gt 0 ] || fail "no configuration lines found in $stored_config_package"
    missing_lines=$(grep -vxFf "$log" "$expected" | head -n 3)
    [ -z "$missing_lines" ] ||
      fail "the stored configuration lacks package lines, first: $missing_lines"
  fi

  if [ -n "$host_sim" ] && [ "$boot" -eq 1 ]; then
    returned=$(sed -n 's/^launcher: \(TouchUpdate returned .*\)$/\1/p' "$log")
    [ "$returned" = "$host_returned" ] ||
      fail "firmware and host simulator differ: '$returned' here, '$host_returned' on the host"
  fi

  before=$(report_value "$log" "BX_ESRT before")
  after=$(report_value "$log" "BX_ESRT after")
  if [ "$boot" -eq 1 ]; then
    [ "$before" = "absent" ] || fail "a fresh variable store holds BX_ESRT: $before"
  elif [ "$before" != "$previous_after" ]; then
    fail "BX_ESRT did not survive the restart: before '$before', previous after '$previous_after'"
  fi
  previous_after=$after
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; serial logs in $work"
  exit 1
fi
echo "PASS: $boots boot(s), TouchUpdate returned $expect_status"
