#!/bin/sh
# Prints every shared sample with the quillmark of a build into a folder and writes, per sample,
# the page count (pdfinfo) and the text (pdftotext, clock times masked) beside it; with a second
# folder given, compares the two: the printed pages must stay the same across a change.
#   bench/compare-prints.sh BUILD_DIR OUT_DIR [OTHER_OUT_DIR]
set -eu
build=$(cd "$1" && pwd)
out=$2
samples=${QM_SHARED_DIR:-$(dirname "$0")/../../shared}/testdata/msg
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
rm -rf "$out" && mkdir -p "$out"
QUILLMARK_HOME=$home "$build/host/quillmark" install >/dev/null
for msg in "$samples"/*.msg; do
  name=$(basename "$msg" .msg)
  case $name in
    tika__testMSG_Task) template="--template TaskRequest" ;;
    bbot__S_MIME_test_message_signed) template="--template Mail" ;;
    *) template="" ;;
  esac
  mkdir -p "$out/$name/store" "$out/$name/pdf"
  ln -sf "$(cd "$(dirname "$msg")" && pwd)/$(basename "$msg")" "$out/$name/store/"
  # shellcheck disable=SC2086
  QUILLMARK_HOME=$home "$build/host/quillmark" print "$out/$name/store/$name.msg" $template --out "$out/$name/pdf" \
    >/dev/null 2>&1 || echo "print failed: $name"
  for pdf in "$out/$name/pdf"/*.pdf; do
    [ -f "$pdf" ] || continue
    pdfinfo "$pdf" | grep '^Pages:' >>"$out/$name.txt"
    pdftotext -layout "$pdf" - | sed -E 's/[0-9]{1,2}:[0-9]{2}(:[0-9]{2})?( ?[AP]M)?/HH:MM/g' >>"$out/$name.txt"
  done
  rm -rf "$out/$name"
done
if [ $# -ge 3 ]; then
  diff -r "$3" "$out" && echo "same pages and text for $(ls "$out" | wc -l) samples"
fi
