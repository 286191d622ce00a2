#!/bin/sh
# Every program answers a lone --help, -h and --version on standard output with exit status 0,
# reads nothing from standard input (a dialogue started on the empty input would end with
# status 1) and writes nothing on standard error.
#   help_version_check.sh BIN_DIR PROGRAM...
bin=$1
shift
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
status=0
for program in "$@"; do
    for flag in --help -h --version; do
        "$bin/$program" "$flag" </dev/null >"$tmp/out" 2>"$tmp/err"
        code=$?
        if [ $code -ne 0 ] || [ -s "$tmp/err" ] || [ ! -s "$tmp/out" ]; then
            echo "$program $flag: exit status $code, standard error:"
            cat "$tmp/err"
            status=1
            continue
        fi
        case $flag in
        --version)
            if ! head -n 1 "$tmp/out" | grep -q "^$program - skygap version "; then
                echo "$program --version: the first line is not \"$program - BANNER\":"
                cat "$tmp/out"
                status=1
            fi
            ;;
        *)
            if ! grep -q "Usage: .*$program" "$tmp/out"; then
                echo "$program $flag: no usage line naming $program"
                status=1
            fi
            if ! grep -qi "exit status" "$tmp/out"; then
                echo "$program $flag: the help does not state the exit status"
                status=1
            fi
            ;;
        esac
    done
done
exit $status
