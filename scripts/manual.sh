#!/bin/bash
# Builds the user manual Help.pdf from docs/manual/help.md with the window tests' screenshots.
# Usage: scripts/manual.sh VERSION ARTIFACTS_DIR OUTPUT_PDF
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
version="$1" artifacts="$2" output="$3"
src="$root/docs/manual"
# A fixed folder: the PDF's object names depend on the pictures' paths.
work="$root/build/manual"
rm -rf "$work"
mkdir -p "$work"

# Placeholders: @VERSION@ and one @SHOT_...@ per picture (docs/manual/screenshots.txt).
sed_args=(-e "s/@VERSION@/$version/g")
missing=()
while IFS='=' read -r key file; do
  [[ -z "$key" || "$key" == \#* ]] && continue
  if [ -f "$artifacts/$file" ]; then
    cp "$artifacts/$file" "$work/$file"
  else
    missing+=("$file")
  fi
  sed_args+=(-e "s/@$key@/$file/g")
done <"$src/screenshots.txt"
if [ ${#missing[@]} -gt 0 ]; then
  echo "manual: screenshots missing in $artifacts: ${missing[*]} (run the window tests first)" >&2
  exit 1
fi
sed "${sed_args[@]}" "$src/help.md" >"$work/help.md"
if grep -q '@[A-Z_]*@' "$work/help.md"; then
  echo "manual: placeholders without a value: $(grep -o '@[A-Z_]*@' "$work/help.md" | sort -u | tr '\n' ' ')" >&2
  exit 1
fi
cp "$src/style.css" "$work/"
mkdir -p "$(dirname "$output")"
(cd "$work" && SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-0}" pandoc help.md --standalone --toc --toc-depth=2 \
  --css style.css --metadata pagetitle="TrevnaConf" --pdf-engine=weasyprint -o Help.pdf 2>"$work/pandoc.log") || {
  cat "$work/pandoc.log" >&2
  exit 1
}
mv "$work/Help.pdf" "$output"
