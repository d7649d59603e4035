#!/usr/bin/env bash
# Regenerates the small real sample files of the format recogniser's tests
# (tests/data/autorec/) with the real tools that write those formats:
# ImageMagick, netpbm, Ghostscript, LibreOffice, zip and the usual text tools.
#
#   apt-get install imagemagick ghostscript netpbm zip \
#       libreoffice-writer-nogui libreoffice-impress-nogui
#   scripts/make_autorec_samples.sh
#
# Every file stays a few KB.  The tests read the committed copies, so they
# need none of these tools.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$here/tests/data/autorec"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Prefer the distribution's ImageMagick over any wrapper earlier on the PATH.
im=/usr/bin/convert
[ -x "$im" ] || im=convert

# One small picture, the source of the raster formats.
"$im" -size 24x16 gradient:navy-orange -depth 8 "$work/pic.ppm"
"$im" "$work/pic.ppm" "$out/gradient.png"
"$im" "$work/pic.ppm" "$out/gradient.gif"
"$im" "$work/pic.ppm" -quality 80 "$out/gradient.jpg"
"$im" "$work/pic.ppm" -endian LSB -compress none "$out/gradient-le.tif"
"$im" "$work/pic.ppm" -endian MSB -compress none "$out/gradient-be.tif"
"$im" "$work/pic.ppm" bmp3:"$out/gradient.bmp"
ppmtobmp -os2 "$work/pic.ppm" > "$out/gradient-os2.bmp"
"$im" "$work/pic.ppm" "$out/gradient.pcx"
"$im" "$work/pic.ppm" -colors 8 "$out/gradient.xpm"
"$im" "$work/pic.ppm" sun:"$out/gradient.ras"
"$im" "$work/pic.ppm" pict:"$out/gradient.pict"
"$im" "$work/pic.ppm" -monochrome "$work/pic.pbm"
pbmtomacp "$work/pic.pbm" > "$out/gradient.mac"

# PostScript family: a page written by hand, turned into EPS and PDF by
# Ghostscript.
# The page draws without text, so no font is embedded and the files stay small.
cat > "$work/page.ps" <<'PS'
%!PS
newpath 72 72 moveto 200 200 lineto 300 72 lineto closepath stroke
newpath 150 150 40 0 360 arc fill
showpage
PS
# The EPS writer puts a long prolog in front of the page; the recogniser
# reads no more than the first 4096 bytes, so only those are kept.
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=eps2write -sOutputFile="$work/page.eps" "$work/page.ps"
head -c 4096 "$work/page.eps" > "$out/page.eps"
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -dCompressPages=true -sOutputFile="$out/page.pdf" "$work/page.ps"
# The writers put their vendor's name into comments and metadata; the
# samples carry no product names, so it is masked with x's of the same
# length (the PDF's offsets stay valid; the recogniser reads only the
# leading signatures).
LC_ALL=C sed -i -E 's/[Aa][d][o][b][e]/xxxxx/g' "$out/page.eps" "$out/page.pdf"

# Plain text with each kind of line end.
printf '%s\n' \
  "The recogniser names a file's format from its first bytes." \
  "Plain text has no signature, so byte statistics decide:" \
  "mostly seven-bit characters, spaces between words, and" \
  "one kind of line end used throughout the block." > "$work/text.txt"
for i in 1 2 3 4 5 6 7 8; do cat "$work/text.txt"; done > "$out/text-lf.txt"
sed 's/$/\r/' "$out/text-lf.txt" > "$out/text-crlf.txt"
tr '\n' '\r' < "$out/text-lf.txt" > "$out/text-cr.txt"
sed 's/$/\r\r/' "$out/text-lf.txt" > "$out/text-crcrlf.txt"

# Office documents through LibreOffice (Word 97 binary, PowerPoint 97
# binary, RTF, HTML) from the same text.
soffice --headless --convert-to doc:"MS Word 97" --outdir "$work" "$work/text.txt" >/dev/null 2>&1
cp "$work/text.doc" "$out/text.doc"
soffice --headless --convert-to rtf --outdir "$work" "$work/text.txt" >/dev/null 2>&1
cp "$work/text.rtf" "$out/text.rtf"
soffice --headless --convert-to html:"HTML (StarWriter)" --outdir "$work" "$work/text.txt" >/dev/null 2>&1
cp "$work/text.html" "$out/text.html"
# LibreOffice has no text-to-slides filter, so the presentation starts as a
# flat OpenDocument file written here.  The PowerPoint file carries the
# program's default master and runs to several hundred KB, mostly empty
# sectors: it is kept gzip-compressed and the tests unpack it.
cat > "$work/slides.fodp" <<'FODP'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:body><office:presentation>
  <draw:page draw:name="page1">
   <draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>Format recognition sample</text:p></draw:text-box></draw:frame>
  </draw:page>
 </office:presentation></office:body>
</office:document>
FODP
soffice --headless --convert-to ppt:"MS PowerPoint 97" --outdir "$work" "$work/slides.fodp" >/dev/null 2>&1
gzip -9n < "$work/slides.ppt" > "$out/slides.ppt.gz"

# A ZIP archive.
(cd "$work" && zip -q -X text.zip text.txt)
cp "$work/text.zip" "$out/text.zip"

# A ZEM document: the head of a real document of the shared corpus (the
# recogniser reads no more than its first 4096 bytes).
zem="$(ls "$here"/../shared/corpus/zem/*.zem 2>/dev/null | head -n 1 || true)"
if [ -n "$zem" ]; then head -c 3000 "$zem" > "$out/document.zem"; fi

# The family's intermediate code: the DID record that opens every file the
# converter writes (ESC GS D I D, the converter number, US RS), then text.
printf '\033\035DID42\037\036Intermediate code sample.\033\035HNL\036' > "$out/intermediate.icf"

ls -l "$out"
