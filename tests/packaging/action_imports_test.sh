#!/bin/bash
# The MSI's custom action DLL (i686, inside the x86 package) is loaded by
# Windows Installer on Windows 95 to Vista: it may import only functions
# those systems have, and no C runtime DLL (it links none, as the programs).
# Each name below was checked against the platform SDK (Windows 95 / NT 3.1
# or earlier, msi.dll of Windows Installer 1.0); a new import fails this test
# until it has been checked the same way and added.
#   action_imports_test.sh <i686 TolmarDeployAction.dll>
set -euo pipefail
dll=$1
[ -f "$dll" ] || { echo "action_imports_test: $dll is missing: build the win32 preset first" >&2; exit 1; }
known="
ADVAPI32.dll:RegCloseKey RegCreateKeyExA RegDeleteKeyA RegDeleteValueA RegOpenKeyExA
 RegQueryInfoKeyA RegQueryValueExA RegSetValueExA
KERNEL32.dll:CloseHandle CreateFileA CreatePipe CreateProcessA DuplicateHandle ExitProcess
 GetCurrentProcess GetExitCodeProcess GetLastError GetModuleHandleA GetProcAddress GetTickCount
 GetVersion MultiByteToWideChar PeekNamedPipe ReadFile TerminateProcess WaitForSingleObject
 WideCharToMultiByte lstrlenA
msi.dll:MsiCloseHandle MsiCreateRecord MsiFormatRecordA MsiGetPropertyA MsiProcessMessage
 MsiRecordSetStringA MsiSetMode MsiSetPropertyA
"
status=0
# objdump lists each DLL ("DLL Name: KERNEL32.dll") and under it one line per
# function: "<address> <hint> <name>".
imports=$(i686-w64-mingw32-objdump -p "$dll" | awk '
    /DLL Name:/ { dll = $3; next }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll ":" $3; next }
    /^[ \t]*$/ { dll = "" }')
[ -n "$imports" ] || { echo "action_imports_test: no imports read from $dll" >&2; exit 1; }
for entry in $imports; do
    dll_name=${entry%%:*} name=${entry#*:}
    list=$(printf '%s\n' "$known" | awk -v d="$dll_name:" '
        index($0, d) == 1 { on = 1; print substr($0, length(d) + 1); next }
        /^[A-Za-z0-9_.]+:/ { on = 0 }
        on { print }')
    if ! printf ' %s ' $list | grep -q " $name "; then
        echo "action_imports_test: $dll_name!$name is not known to exist on Windows 95 and NT 4.0" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "action_imports_test: all $(wc -w <<<"$imports") imports of $(basename "$dll") exist on Windows 95 and NT 4.0"
exit $status
