#!/bin/sh
# Checks that the program's folders depend downwards only: each folder may
# include itself and the folders listed after it below, nothing else. A
# folder missing from the list, or an include that goes up or sideways, fails.
set -eu
cd "$(dirname "$0")/.."
allowed() {
    case $1 in
        app) echo "app pages framework install catalogue common resources" ;;
        deploy) echo "deploy install catalogue common resources" ;;
        pages) echo "pages framework install catalogue common resources" ;;
        install) echo "install catalogue common resources" ;;
        catalogue) echo "catalogue common" ;;
        framework) echo "framework common" ;;
        common) echo "common" ;;
        packaging) echo "packaging catalogue common" ;;
        *) return 1 ;;
    esac
}
status=0
for folder in app deploy pages install catalogue framework common packaging; do
    [ -d "$folder" ] || continue
    ok=$(allowed "$folder")
    for file in $(find "$folder" -name '*.h' -o -name '*.cpp' -o -name '*.rc' | sort); do
        for target in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z0-9_]*\)\/.*/\1/p' "$file" | sort -u); do
            case " $ok " in
                *" $target "*) ;;
                *) echo "check-layers: $file includes $target/, which is not below $folder/" >&2
                   status=1 ;;
            esac
        done
    done
done
[ "$status" -eq 0 ] && echo "check-layers: every folder depends downwards only"
exit $status
