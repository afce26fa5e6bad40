# Starting Windows programs under Wine, for the scripts that do
# (windows-test.sh, package-test.sh): sourced, not run. The caller sets
# `repo` to the repository's root first.
#
# One 64-bit Wine prefix serves every script: build/windows64/wineprefix,
# made by 64-bit Wine alone; 32-bit programs run in it through Wine's WoW64
# side. Where the kernel cannot start 32-bit programs, they are handed to
# qemu-i386-static (binfmt_misc; root only): inside a namespace of their own
# where the kernel allows it (Linux 6.7 on), otherwise for the length of the
# run. Wine starts slowly there (a minute or more), then runs at a useful
# speed.
#
#   make_prefix             the prefix, once
#   wine32_start [EMULATE]  gets 32-bit programs going (EMULATE=1: through
#                           qemu even where the kernel could run them);
#                           sets wine32_how and wine32_runner, the command
#                           to put before "$wine64" PROGRAM; on failure
#                           returns 1 with wine32_problem set
#   wine32_stop             ends this prefix's Wine and any qemu rule of ours
#   winpath PATH            the build machine's PATH as Wine sees it

export WINEDEBUG=-all
export WINEPREFIX="$repo/build/windows64/wineprefix"
wine64=/usr/lib/wine/wine64
[[ -x "$wine64" ]] || wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=/usr/lib/wine/wineserver
[[ -x "$wineserver" ]] || wineserver=$(command -v wineserver || echo true)
# Ends the processes of this prefix only (Wine keeps a few running after a program).
stop_wine() { "$wineserver" -k >/dev/null 2>&1 || true; }

# Wine maps the build machine's / to drive Z:.
winpath() { echo "Z:$1"; }

# The prefix, made by 64-bit Wine alone: where 32-bit programs cannot start
# (yet), its 32-bit system folder stays empty and wine32_start fills it.
make_prefix() {
  [[ -f "$WINEPREFIX/system.reg" ]] && return
  echo "== making the Wine prefix $WINEPREFIX (once)"
  timeout -k 5 900 "$wine64" wineboot -i >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
}

# Whether the kernel starts 32-bit programs by itself (and nothing hands them
# to qemu already): Wine's own 32-bit loader is one.
native32() {
  [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && timeout -k 5 30 /usr/lib/wine/wine --version >/dev/null 2>&1
}

# binfmt_misc's rule that hands 32-bit x86 programs to qemu-i386-static.
qemu_rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
# Runs its arguments in a user and mount namespace whose own binfmt_misc has
# that rule (Linux 6.7 on), so no other program on the machine is affected.
in_namespace='mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && printf "%s" "$0" >/proc/sys/fs/binfmt_misc/register && exec "$@"'
private_binfmt() {
  unshare -Urm sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc' >/dev/null 2>&1
}
registered_here=0
unregister_qemu() {
  if ((registered_here)); then
    echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null || true
    registered_here=0
  fi
}
trap 'stop_wine; unregister_qemu' EXIT

wine32_start() {
  local emulate=${1:-0}
  wine32_how=""
  wine32_runner=()
  wine32_problem=""
  if [[ ! -x /usr/lib/wine/wine || ! -d /usr/lib/i386-linux-gnu/wine/i386-windows ]]; then
    wine32_problem="32-bit Wine is not installed (scripts/install-deps.sh wine32)"
    return 1
  fi
  if ((emulate == 0)) && native32; then
    wine32_how="32-bit programs run natively"
  elif ((emulate == 0)) && [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
    wine32_how="32-bit programs go to qemu-i386-static (registered on this machine already)"
  elif [[ ! -x /usr/bin/qemu-i386-static ]]; then
    wine32_problem="this machine starts no 32-bit programs and qemu-user-static is not installed (scripts/install-deps.sh wine32)"
    return 1
  elif private_binfmt; then
    wine32_how="32-bit programs go to qemu-i386-static, in a namespace of this run's own"
    wine32_runner=(unshare -Urm bash -c "$in_namespace" "$qemu_rule")
  elif ((emulate)); then
    wine32_problem="--emulate needs binfmt_misc in a namespace of its own (Linux 6.7 on); here every 32-bit program of the machine would go to qemu"
    return 1
  elif [[ $(id -u) -eq 0 ]] && { [[ -e /proc/sys/fs/binfmt_misc/register ]] ||
         mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; } &&
       printf '%s' "$qemu_rule" >/proc/sys/fs/binfmt_misc/register 2>/dev/null; then
    registered_here=1
    wine32_how="32-bit programs go to qemu-i386-static (registered for the length of this run)"
  else
    wine32_problem="this machine starts no 32-bit programs, and handing them to qemu-i386-static needs root and binfmt_misc"
    return 1
  fi
  if [[ "$wine32_how" == *qemu* ]]; then
    # Wine maps its shared data at a fixed address that qemu's default
    # layout of a 32-bit address space already uses; a 3.75 GB guest space
    # leaves it free.
    export QEMU_RESERVED_VA=0xf0000000
  fi

  stop_wine
  make_prefix
  # A prefix made where 32-bit programs could not start has an empty 32-bit
  # system folder: Wine's own 32-bit DLLs go there, as its set-up would put them.
  local wow="$WINEPREFIX/drive_c/windows/syswow64" dll
  if [[ ! -e "$wow/kernel32.dll" ]]; then
    mkdir -p "$wow"
    for dll in /usr/lib/i386-linux-gnu/wine/i386-windows/*; do
      [[ -e "$wow/$(basename "$dll")" ]] || ln -s "$dll" "$wow/"
    done
  fi
}

wine32_stop() {
  stop_wine
  unregister_qemu
}
