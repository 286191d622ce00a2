#!/bin/sh
# The batch page in a real browser: renders the page of a small batch (simulated photographs,
# one that fails, one with an assumed disc) with headless chromium and checks that
#   - the page is well formed, references only files that exist, nothing over a network
#     (report_check page), and tidy finds no unclosed element when tidy is installed;
#   - it loads with no console message and no script error, and clicking the column headings
#     sorts the summary (a copy of the page with a recorder script, read back with --dump-dom);
#   - its screenshot is not blank (report_check png).
# The page and the screenshot stay in WORKDIR as the test's artefacts.
#
#   browser_test.sh MAKE_PAGE REPORT_CHECK WORKDIR [BY_NUMBER BY_NAME ESCAPED]
# MAKE_PAGE DIR writes the page into DIR (report_demo by default). BY_NUMBER and BY_NAME are
# the row orders expected after sorting by # twice and by photo once, ESCAPED a photograph name
# as the page must show it escaped; they default to report_demo's batch.
# Exit status 77 (skipped) when chromium is not installed.
set -u
demo=$1
check=$2
work=$3
by_number=${4:-4,3,2,1}
by_name=${5:-3,2,4,1}
escaped=${6:-'&lt;script&gt;alert(1)&lt;/script&gt;'}

if ! command -v chromium >/dev/null 2>&1; then
    echo "SKIPPED: chromium is not installed (Debian package chromium); browser test not run"
    exit 77
fi

fail() {
    echo "FAILED: $*"
    exit 1
}

rm -rf "$work"
mkdir -p "$work" || fail "cannot make $work"
page="$work/page"
"$demo" "$page" >/dev/null || fail "report_demo could not write the page"
"$check" page "$page" || fail "the page does not pass report_check"

if command -v tidy >/dev/null 2>&1; then
    tidy -q -e "$page/index.html" >"$work/tidy.txt" 2>&1
    if grep -E "Error:|missing </|discarding unexpected|unexpected </" "$work/tidy.txt"; then
        fail "tidy finds unclosed or misplaced elements (see $work/tidy.txt)"
    fi
fi

browse() {  # browse OUTPUT-OPTION URL LOG
    profile=$(mktemp -d) || fail "mktemp"
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$profile" --enable-logging=stderr --v=0 \
        --window-size=1280,2000 "$1" "$2" 2>"$3"
    status=$?
    rm -rf "$profile"
    return $status
}

# The page as it is: a screenshot, and the browser's log of console messages.
rm -f "$work/screenshot.png"
browse --screenshot="$work/screenshot.png" "file://$(cd "$page" && pwd)/index.html" \
    "$work/chromium.log" >/dev/null || fail "chromium failed (see $work/chromium.log)"
[ -s "$work/screenshot.png" ] || fail "no screenshot written"
if grep -E ":CONSOLE|Uncaught" "$work/chromium.log"; then
    fail "the page wrote to the console (see $work/chromium.log)"
fi
"$check" png "$work/screenshot.png"
case $? in
    0) ;;
    77) [ "$(wc -c <"$work/screenshot.png")" -gt 20000 ] || fail "the screenshot is too small to hold the page" ;;
    *) fail "the screenshot looks blank" ;;
esac

# A copy with a recorder: script errors, then the row order after clicking "#" twice (batch
# order reversed) and "photo" once (by name), written into the DOM for --dump-dom.
recorder='<script>window.addEventListener("error",function(e){document.documentElement.setAttribute("data-errors",(document.documentElement.getAttribute("data-errors")||"")+"["+e.message+"]");});</script>'
probe='<script>window.addEventListener("load",function(){var t=document.getElementById("summary-table");var h=t.tHead.rows[0].cells;function order(){return Array.prototype.map.call(t.tBodies[0].rows,function(r){return r.getAttribute("data-i");}).join(",");}h[0].click();h[0].click();document.documentElement.setAttribute("data-order-number",order());h[1].click();document.documentElement.setAttribute("data-order-name",order());});</script>'
sed -e "s#<head>#<head>$recorder#" -e "s#</body>#$probe</body>#" "$page/index.html" >"$page/probe.html"
browse --dump-dom "file://$(cd "$page" && pwd)/probe.html" "$work/probe.log" >"$work/probe-dom.html" \
    || fail "chromium failed on the probe (see $work/probe.log)"
grep -q 'data-errors=' "$work/probe-dom.html" && fail "script errors: $(grep -o 'data-errors="[^"]*"' "$work/probe-dom.html")"
# The batch: 1 random, 2 clumped, 3 the broken one named "<script>...", 4 open. By name the
# broken one sorts first ('<' before letters), then clumped, open, random.
grep -q "data-order-number=\"$by_number\"" "$work/probe-dom.html" \
    || fail "sorting by # twice did not reverse the batch: $(grep -o 'data-order-number="[^"]*"' "$work/probe-dom.html")"
grep -q "data-order-name=\"$by_name\"" "$work/probe-dom.html" \
    || fail "sorting by photo did not order by name: $(grep -o 'data-order-name="[^"]*"' "$work/probe-dom.html")"
# The photograph named like a script element shows as text, and runs nothing.
grep -qF "$escaped" "$work/probe-dom.html" \
    || fail "the escaped photograph name is missing from the page"

echo "PASSED: page, screenshot ($work/screenshot.png) and sorting checked"
exit 0
