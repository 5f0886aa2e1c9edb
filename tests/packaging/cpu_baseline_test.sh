#!/bin/bash
# Every program and DLL we ship runs on the oldest processor a Windows it
# claims runs on: a 386 for Windows 95 (a 486 for 98 and NT 4.0). No emulator
# here runs them on one (Wine's own code needs a Pentium Pro), so the code
# sections are read instead: every instruction a 386 (or 486) lacks is listed
# with its address, and fails the test.
#   cpu_baseline_test.sh <386|486> <program or DLL>...
set -euo pipefail
baseline=$1
shift
case $baseline in
386 | 486) ;;
*) echo "cpu_baseline_test: the baseline is 386 or 486, not $baseline" >&2; exit 2 ;;
esac
status=0
for file in "$@"; do
    [ -f "$file" ] || { echo "cpu_baseline_test: $file is missing: build the win32 preset first" >&2; exit 1; }
    # objdump -d disassembles the executable sections only. Where the code
    # shares .text with the read-only data (cmake/compact-i686.ld), the link
    # map beside the program says where the code ends: data read as code
    # would show instructions that are not there.
    stop=()
    if [ -f "$file.map" ]; then
        end=$(awk '$2 == "__code_end__" && $3 == "=" { print $1 }' "$file.map")
        [ -n "$end" ] || { echo "cpu_baseline_test: $file.map has no __code_end__" >&2; exit 1; }
        stop=(--stop-address="$end")
    fi
    # The opcode bytes decide (any two-byte opcode the baseline lacks,
    # whatever its name); the name says which processor brought it.
    report=$(i686-w64-mingw32-objdump -d "${stop[@]}" "$file" | awk -F '\t' -v base="$baseline" -v name="$(basename "$file")" '
        BEGIN {
            # Two-byte opcodes (0F xx) of the 386: system, control and debug
            # registers, Jcc, SETcc, PUSH/POP FS/GS, BT*, SHLD/SHRD, IMUL,
            # LSS/LFS/LGS, MOVZX/MOVSX, BSF/BSR. UD2 (0B) is allowed: it stops
            # the program with an invalid-opcode fault on every processor,
            # which is all it is there for. CPUID (A2) is not, at either
            # baseline: the 386 and most 486s lack it, and nothing of ours has
            # reason to ask (code that must ask tests EFLAGS.ID first).
            split("00 01 02 03 06 0b 20 21 22 23 24 26 a0 a1 a3 a4 a5 a8 a9 ab ac ad af " \
                  "b2 b3 b4 b5 b6 b7 ba bb bc bd be bf", ops, " ")
            for (i in ops) known[ops[i]] = 1
            for (i = 0; i < 32; ++i) known[sprintf("%02x", 128 + i)] = 1
            # The 486 added BSWAP, CMPXCHG, XADD, INVD, WBINVD (and INVLPG in 0F 01).
            if (base == 486) {
                split("08 09 b0 b1 c0 c1 c8 c9 ca cb cc cd ce cf", ops, " ")
                for (i in ops) known[ops[i]] = 1
            }
            split("26 2e 36 3e 64 65 66 67 f0 f2 f3", ops, " ")
            for (i in ops) prefix[ops[i]] = 1
            where = "?"
            count = 0
            found = 0
        }
        /^[0-9a-f]+ <.*>:$/ { where = $0; sub(/^[0-9a-f]+ /, "", where); sub(/:$/, "", where); next }
        # "  401000:<TAB>0f 44 c2<TAB>cmove %edx,%eax"; a long instruction
        # goes on in a line without the third field.
        NF < 3 || $1 !~ /^ *[0-9a-f]+:$/ { next }
        {
            ++count
            n = split($2, bytes, " ")
            b = 1
            while (b <= n && (bytes[b] in prefix)) ++b
            text = $3
            sub(/^ +/, "", text); sub(/ +$/, "", text); gsub(/ +/, " ", text)
            words = split(text, w, " ")
            m = 1
            while (m < words && w[m] ~ /^(lock|rep|repz|repnz|repe|repne|data16|data32|addr16|addr32|[c-gs]s|notrack|bnd|xacquire|xrelease)$/) ++m
            mnemonic = w[m]
            newer = 0
            if (bytes[b] == "0f") {
                op = bytes[b + 1]
                if (!(op in known)) newer = 1
                # 0F 01 of the 386 holds only the descriptor-table and machine-status moves.
                else if (op == "01" && mnemonic !~ /^(sgdt|sidt|lgdt|lidt|smsw|lmsw)/ &&
                         !(base == 486 && mnemonic ~ /^invlpg/)) newer = 1
            }
            # What the bytes alone do not show: x87 forms of the Pentium Pro and
            # SSE3, F3-prefixed BSF/BSR (TZCNT/LZCNT), and any MMX or SSE register.
            if (mnemonic ~ /^(fcmov|fcomi|fucomi|fisttp|tzcnt|lzcnt|popcnt)/ ||
                text ~ /%[xyz]?mm[0-9]/) newer = 1
            if (!newer) next
            if (mnemonic ~ /^(bswap|cmpxchg[bwl]?$|xadd|invd|wbinvd|invlpg)/) cpu = "486"
            else if (mnemonic ~ /^cpuid/) cpu = "late 486s and the Pentium"
            else if (mnemonic ~ /^(rdtsc$|rdmsr|wrmsr|rsm|cmpxchg8b)/) cpu = "Pentium"
            else if (mnemonic ~ /^emms/ || text ~ /%mm[0-7]/) cpu = "Pentium MMX"
            else if (mnemonic ~ /^(cmov|fcmov|fcomi|fucomi|rdpmc|nop[wl]?$)/) cpu = "Pentium Pro"
            else if (mnemonic ~ /^(sysenter|sysexit|fxsave|fxrstor)/) cpu = "Pentium II"
            else if (mnemonic ~ /^(syscall|sysret|femms|pf)/) cpu = "AMD K6"
            else if (text ~ /%[xyz]mm/ ||
                     mnemonic ~ /^(prefetch|[lsm]fence|movnt|ldmxcsr|stmxcsr|clflush|fisttp)/)
                cpu = "SSE: Pentium III or later"
            else cpu = "a processor after the " base
            addr = $1; sub(/^ +/, "", addr); sub(/:$/, "", addr)
            printf "  %s: 0x%s in %s: %s (%s)\n", name, addr, where, text, cpu
            ++found
        }
        END {
            if (count == 0) print "  " name ": no code found to disassemble"
            else if (found > 0) print "  " name ": " found " instructions a " base " does not have"
            else exit 0
            exit 1
        }') || {
        printf '%s\n' "$report" >&2
        status=1
        continue
    }
    echo "cpu_baseline_test: $(basename "$file"): no instruction newer than the $baseline"
done
[ "$status" -eq 0 ] || echo "cpu_baseline_test: the programs must run on a $baseline (built with -march=i$baseline)" >&2
exit $status
