#!/bin/sh
# One program's man page: present, formatted by man without a single warning, naming the
# program, and naming every option that the program's --help names.
#   man_page_check.sh NAME PAGE PROGRAM
# Exit status 77 (skipped) where man is not installed.
name=$1
page=$2
program=$3
if ! command -v man >/dev/null 2>&1; then
    echo "man is not installed: $name's man page is not checked"
    exit 77
fi
if [ ! -f "$page" ]; then
    echo "$name has no man page: $page is missing"
    exit 1
fi
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
status=0

LC_ALL=C MANWIDTH=200 MANPAGER=cat PAGER=cat man --warnings -l "$page" \
    >"$tmp/page" 2>"$tmp/warnings"
if [ -s "$tmp/warnings" ]; then
    echo "$page: man warns:"
    cat "$tmp/warnings"
    status=1
fi
if ! grep -q "^ *$name - " "$tmp/page"; then
    echo "$page: the NAME section does not name $name"
    status=1
fi

# Options in the help: long ones anywhere, short ones standing alone ("-h," or "-h ").
if ! "$program" --help </dev/null >"$tmp/help" 2>&1; then
    echo "$program --help failed"
    status=1
fi
grep -oE -- '--[A-Za-z][A-Za-z-]*|(^|[[:space:]])-[A-Za-z]([,[:space:]]|$)' "$tmp/help" |
    tr -d ' ,\t' | sort -u >"$tmp/options"
if [ ! -s "$tmp/options" ]; then
    echo "$program --help names no option"
    status=1
fi
while read -r option; do
    if ! grep -qE -- "(^|[^-A-Za-z0-9])$option([^-A-Za-z0-9]|\$)" "$tmp/page"; then
        echo "$page: $option, named by $name --help, is missing"
        status=1
    fi
done <"$tmp/options"
exit $status
