#!/usr/bin/env bash
# SVG, PDF and CSV pictures from the renderer: valid files of the page's size, with the
# palette's colours and the pen widths, that look like the PNG of the same keys
# when drawn again, stay sharp when enlarged, and stay small.
render=$1
grab=$2
. "$(dirname "$0")/checks.sh"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work
cd "$work" || exit 1

"$render" --keys "backspace x" --svg f.svg --pdf f.pdf --png f.png || fail "status"
"$render" --keys x --png plain.png || fail "status without overlays"

xmllint --noout f.svg || fail "the SVG is not well-formed XML"
size=$(stat -c %s f.svg)
[ "$size" -le 400000 ] || fail "one frame with overlays: $size bytes of SVG, more than 400 KB"
colours=$(grep -o 'stroke="#[0-9a-f]*"' f.svg | sort -u | tr '\n' ' ')
[ "$colours" = 'stroke="#0000ff" stroke="#008080" stroke="#00ff00" stroke="#070000" stroke="#8080ff" stroke="#ff0000" stroke="#ff00ff" stroke="#ff8000" stroke="#ffc080" ' ] ||
    fail "SVG colours: $colours"
widths=$(grep -o 'stroke-width="[0-9]*"' f.svg | sort -u | tr '\n' ' ')
[ "$widths" = 'stroke-width="1" stroke-width="2" stroke-width="3" stroke-width="4" ' ] || fail "SVG widths: $widths"
grep -q 'stroke-linecap="round"' f.svg || fail "SVG strokes without round caps"
grep -q 'viewBox="0 0 962 688"' f.svg || fail "SVG page: $(grep -o 'viewBox="[^"]*"' f.svg)"
grep -q '<title>Zebo / Morlix GEOMETRY EXPLAIN USE: SpaceBar' f.svg || fail "SVG without the caption as its title"
grep -q 'stroke-linejoin="round"' f.svg || fail "SVG strokes without round joins"
# The same bytes as standard output, and the numbers of the same picture.
"$render" --keys "backspace x" --svg - --csv f.csv >stdout.svg || fail "status with --svg -"
cmp -s f.svg stdout.svg || fail "the SVG on standard output differs from the file"
[ "$(head -1 f.csv)" = "curve,path,x,y" ] || fail "CSV header: $(head -1 f.csv)"
cut -d, -f1 f.csv | sed 1d | sort -u | tr '\n' '|' | grep -qx 'axes|first profile|first profile acceleration|first profile velocity|moving trace|moving trace acceleration|moving trace velocity|second profile|travel|' ||
    fail "CSV curves: $(cut -d, -f1 f.csv | sed 1d | sort -u | tr '\n' '|')"

pdfinfo f.pdf >info.txt 2>&1 || fail "pdfinfo: $(cat info.txt)"
grep -q '^Pages: *1$' info.txt && grep -q '^Page size: *721.5 x 516 pts' info.txt || fail "PDF: $(cat info.txt)"

# Drawn again at the design size, both look like the PNG, and a frame without
# the overlays does not.
rsvg-convert -w 962 -h 688 -b white f.svg -o svg.png || fail "rsvg-convert"
pdftoppm -r 96 -png -singlefile f.pdf pdf || fail "pdftoppm"
for v in svg pdf; do
    n=$("$grab" near $v.png f.png 962 688 48)
    [ "$n" -le 400 ] || fail "the $v drawn again differs from the PNG in $n pixels"
    n=$("$grab" near $v.png plain.png 962 688 48)
    [ "$n" -ge 4000 ] || fail "the $v does not tell the overlays apart: $n pixels"
done
# Enlarged four times, the edges stay as sharp as at the design size.
rsvg-convert -z 4 -b white f.svg -o svg4.png
pdftoppm -r 384 -png -singlefile f.pdf pdf4
one=$("$grab" partial svg.png)
for v in svg4 pdf4; do
    four=$("$grab" partial $v.png)
    [ $((four * 2)) -lt "$one" ] || fail "$v: $four per mille soft pixels at 4x, $one at 1x"
done

# Piled-up frames: all of them since the last clear.
count() { grep -o ' d="M[^"]*"' "$1" | sed -e 's/ d="M//' -e 's/"//' -e 's/L/ /' | awk '{n += NF / 2 - 1} END {print n}'; }
"$render" --keys x --svg one.svg && "$render" --keys "slash x x" --svg pile.svg &&
    "$render" --keys "slash x x slash x" --svg cleared.svg || fail "piles: status"
[ "$(count pile.svg)" -gt $(($(count one.svg) + 500)) ] || fail "piled frames: $(count pile.svg) segments"
[ "$(count cleared.svg)" -lt "$(count pile.svg)" ] || fail "after a clear: $(count cleared.svg) segments"
"$render" --keys "backspace slash" --sweep --svg sweep.svg || fail "the sweep: status"
size=$(stat -c %s sweep.svg)
[ "$size" -le 30000000 ] || fail "the whole sweep piled up: $size bytes of SVG"

finish "vector pictures"
