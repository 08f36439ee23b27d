#!/usr/bin/env bash
# Which edition of the Windows saver Wine can run here, as one line: "x86 (why)" or
# "x64 (why)". The 32-bit edition is the one shipped for Windows 98 to 11, so it runs
# wherever this kernel starts 32-bit x86 programs; a kernel without IA-32 emulation
# refuses them, and there the 64-bit edition runs in a 64-bit prefix.
# LUMENFALL_WINE_EDITION=x86|x64 chooses; x86 on a kernel that refuses 32-bit programs
# is an error (status 1, the reason on standard error).
set -euo pipefail

# A 96-byte static i386 program that only exits with status 42 (int 0x80, exit):
# no loader or library is needed, so the answer is the kernel's alone.
runs_32bit_programs() {
  local dir status=0
  dir=$(mktemp -d)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00T\x80\x04\x084\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x004\x00 \x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08`\x00\x00\x00`\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb*\x00\x00\x00\xcd\x80' >"$dir/exit42"
  chmod +x "$dir/exit42"
  { "$dir/exit42"; } 2>/dev/null || status=$?
  rm -rf "$dir"
  [[ $status -eq 42 ]]
}

if runs_32bit_programs; then
  kernel="this kernel runs 32-bit programs"
  edition=x86
else
  kernel="this kernel refuses 32-bit programs"
  edition=x64
fi
case "${LUMENFALL_WINE_EDITION:-}" in
  "") echo "$edition ($kernel)" ;;
  x64) echo "x64 (chosen by LUMENFALL_WINE_EDITION; $kernel)" ;;
  x86)
    if [[ $edition == x64 ]]; then
      echo "LUMENFALL_WINE_EDITION=x86, but $kernel" >&2
      exit 1
    fi
    echo "x86 (chosen by LUMENFALL_WINE_EDITION; $kernel)" ;;
  *)
    echo "LUMENFALL_WINE_EDITION is x86 or x64, not '$LUMENFALL_WINE_EDITION'" >&2
    exit 1 ;;
esac
