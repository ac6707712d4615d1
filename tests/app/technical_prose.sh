#!/bin/bash
# Technical prose for the repair benchmark, made once into DIR/en and DIR/ru:
# manual pages rendered with groff, the Debian reference by chapter and the
# Debian project's documents, as paragraphs (lines joined, texts apart by
# "%" lines) with the no-break spaces, typographic hyphens, minus signs and quotes a keyboard
# types as "-", "'" and '"'.
# usage: technical_prose.sh DIR
set -e
dir=$1
[ -f "$dir/.made" ] && exit 0
rm -rf "$dir" && mkdir -p "$dir/en" "$dir/ru"

paragraphs() {
  sed 's/[‐‑−–]/-/g; s/[’‘]/'"'"'/g; s/[“”]/"/g; s/\xc2\xa0/ /g' |
    awk 'NF == 0 { if (p != "") { print p; print "%"; p = "" } next }
         { gsub(/[ \t]+/, " "); sub(/^ /, ""); sub(/ $/, "")
           p = p == "" ? $0 : p " " $0 }
         END { if (p != "") print p }'
}

manual() {  # PACKAGE SECTIONS-PATTERN OUTPUT-DIR
  for page in $(dpkg -L "$1" | grep -E "/man/.*man$2/.*\.gz$"); do
    [ -f "$page" ] || continue
    zcat "$page" | groff -k -Tutf8 -mandoc -rHY=0 -rLL=150n -P-cbou 2>/dev/null |
      paragraphs >"$3/man-$(basename "$page" .gz).txt"
  done
}

manual manpages-ru '[1458]' "$dir/ru"
manual manpages 5 "$dir/en"
zcat /usr/share/debian-reference/debian-reference.en.txt.gz |
  awk -v out="$dir/en/debian-reference" \
    '/^(Chapter|Appendix)/ { n++ } { print > (out "-" n ".raw") }'
for raw in "$dir"/en/*.raw; do
  paragraphs <"$raw" >"${raw%.raw}.txt" && rm "$raw"
done
# The documents in their latest versions only.
for doc in $(ls /usr/share/doc/debian/*.gz | grep -v '\.[0-9]\.[0-9]\.txt'); do
  zcat "$doc" | paragraphs >"$dir/en/$(basename "${doc%.gz}")"
done
touch "$dir/.made"
