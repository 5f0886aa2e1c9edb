#!/bin/sh
# Tells whether this machine runs 32-bit x86 programs, which wine32 (and so
# the i686 programs we ship) needs: exit 0 if it does, 1 with the reason on
# standard error if it does not. Some kernels have the 32-bit layer compiled
# out or switched off (a virtual machine under a paravirtual hypervisor, say);
# there every 32-bit program fails with "Exec format error".
set -u
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# The smallest 32-bit ELF program: one segment whose code is exit(42).
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
chmod +x "$probe"
status=0
error=$("$probe" 2>&1) || status=$?
[ "$status" -eq 42 ] && exit 0
echo "this machine does not run 32-bit programs: a 32-bit ELF program ended with status $status${error:+ ($error)}" >&2
exit 1
