#!/usr/bin/env bash
# Runs a command where 32-bit x86 Linux programs can run, and with them Wine's 32-bit side:
#
#   scripts/with-i386-emulation.sh <command> [arguments...]
#
# Where the kernel runs them natively, the command runs as it is. Where it refuses them ("Exec
# format error"), the command runs in a user and mount namespace of its own whose binfmt_misc
# instance (Linux 6.7 and later) hands 32-bit x86 ELF files to Debian's qemu-i386-static, a
# user-mode emulator: only the processes of that namespace see the registration, nothing on
# the machine changes. Inside, KELTO_I386_EMULATED=1 tells the command (and anything nested)
# that its 32-bit programs are emulated, and so slow.
#
# Where neither works (no qemu-user-static, no user namespaces, a kernel without namespaced
# binfmt_misc), it says why in one line on stderr and exits 77, the tests' "skipped".
set -uo pipefail

skip=77

if [ $# -lt 1 ]; then
    echo "usage: $0 <command> [arguments...]" >&2
    exit 2
fi

# Already inside such a namespace, or a kernel that needs none.
if [ "${KELTO_I386_EMULATED:-0}" = 1 ]; then
    exec "$@"
fi
loader=/lib/ld-linux.so.2
if [ -x "$loader" ] && timeout 20 "$loader" --version >/dev/null 2>&1; then
    exec "$@"
fi

qemu=$(command -v qemu-i386-static || true)
if [ -z "$qemu" ]; then
    echo "i386 emulation: this kernel runs no 32-bit x86 programs and qemu-i386-static (Debian's qemu-user-static) is not installed" >&2
    exit $skip
fi
if ! command -v unshare >/dev/null 2>&1; then
    echo "i386 emulation: this kernel runs no 32-bit x86 programs and unshare (util-linux) is missing" >&2
    exit $skip
fi

# The registration of qemu's own table for i386 ELF executables; F: the emulator is opened
# now, so that it also serves inside other mount namespaces and chroots; P: the program keeps
# its own argv[0].
registration=':kelto-qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':FP'

# The namespace's first step: mount its binfmt_misc, register, prove that a 32-bit program now
# runs; then become the command. Each failure names itself and exits with the skip code.
enter='
set -u
if ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "i386 emulation: binfmt_misc cannot be mounted in a user namespace here (it needs Linux 6.7 or later)" >&2
    exit '$skip'
fi
if ! printf "%s" "$KELTO_I386_REGISTRATION" >/proc/sys/fs/binfmt_misc/register 2>/dev/null; then
    echo "i386 emulation: the namespace'"'"'s binfmt_misc refused the registration of qemu-i386-static" >&2
    exit '$skip'
fi
if ! timeout 60 '"$loader"' --version >/dev/null 2>&1; then
    echo "i386 emulation: registered, but 32-bit x86 programs still do not run (is libc6:i386 installed?)" >&2
    exit '$skip'
fi
unset KELTO_I386_REGISTRATION
export KELTO_I386_EMULATED=1
exec "$@"
'
if ! why=$(timeout 20 unshare --user --map-root-user --mount true 2>&1); then
    echo "i386 emulation: no user namespace can be made here (${why:-timed out}); a process under chroot, for one, may not make one" >&2
    exit $skip
fi
KELTO_I386_REGISTRATION=$registration exec unshare --user --map-root-user --mount \
    bash -c "$enter" kelto-i386-emulation "$@"
