#!/usr/bin/env bash
# Compares the export table of a built kavu_io.dll with the names other
# Windows programs load it by: every function under its decorated name
# _Name@N (N = 4 bytes per argument) and, except ReadStoredDotEx and
# WriteStoredDotEx, under its plain name. Nothing else may be exported.
#   check-exports.sh DLL [OBJDUMP]
#   check-exports.sh --importer EXE [OBJDUMP]
# The second form checks a program built against the import library: it
# must import from kavu_io.dll exactly the configurator's ten functions,
# under their decorated names.
# Exit status 0 when the table is exactly the expected one; otherwise the
# missing and unexpected names are listed and the status is 1.
set -euo pipefail
usage="usage: check-exports.sh DLL [OBJDUMP] | --importer EXE [OBJDUMP]"
mode=exports
if [ "${1:-}" = "--importer" ]; then
  mode=imports
  shift
fi
dll=${1:?$usage}
objdump=${2:-objdump}

# Function and bytes of arguments. This list is kept by hand on purpose: it
# is the interface promised to callers, checked against what the build made.
functions=(
  SetApiMode:4 SetMaxRetriesGlobal:4 GetMaxRetriesGlobal:0 SetTimeout:4 GetTimeout:0
  SetPortName:8
  OpenPort:24 SetupPort:24 SelectPort:4 ClosePort:0
  RS485FromThread:0 RS485ToThread:4 SetDbgIndication:4
  KavuIO:24 Listen:24
  WriteByte:20 WriteWord:20 ReadUInt:20 ReadSInt:20
  WriteFloat24:20 ReadFloat24:20 WriteIEEE32:20 ReadIEEE32:24
  WriteStoredDotS:20 WriteStoredDotEx:24 ReadStoredDotS:20 ReadStoredDotU:20 ReadStoredDotEx:24
  ReadPkpBCD:16 ReadSI8BCD:16 ReadDTMR:24 WriteCSET:12 ReadRTC:12
  GetBufferByte:12 GetBufferWord:12 GetBufferUInt:12 GetBufferSInt:12
  GetBufferFloat24:12 GetBufferIEEE32:12 GetBufferStoredDotS:12 GetBufferStoredDotU:12
  GetBufferPkpBCD:12 GetBufferSI8BCD:12 GetBufferDTMR:24 GetBufferRTC:12
  GetDeviceLastErr:0 GetExtendedLastErr:0 GetLastOpenSysErr:0 GetLastIoSysErr:0 LastErrToStr:4
  GetLinkStats:4 ResetLinkStats:0
)
decorated_only=" ReadStoredDotEx WriteStoredDotEx "

# The ten functions the configurator imports; they must be in the list
# above (a guard against someone trimming it).
configurator_imports=(
  _ClosePort@0 _SetMaxRetriesGlobal@4 _KavuIO@24 _SetApiMode@4 _OpenPort@24
  _ReadIEEE32@24 _WriteIEEE32@20 _ReadUInt@20 _WriteByte@20 _WriteWord@20
)

expected=$(mktemp) actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT

for entry in "${functions[@]}"; do
  name=${entry%%:*} bytes=${entry##*:}
  echo "_${name}@${bytes}"
  [[ $decorated_only == *" $name "* ]] || echo "$name"
done | LC_ALL=C sort >"$expected"

for name in "${configurator_imports[@]}"; do
  if ! grep -qxF -- "$name" "$expected"; then
    echo "check-exports: the configurator's import $name is not in the expected list" >&2
    exit 1
  fi
done

if [ "$mode" = imports ]; then
  # objdump -p lists each imported DLL as "DLL Name: X" followed by
  # "	<vma>	<hint>  <name>" lines up to the next empty line.
  "$objdump" -p "$dll" | awk '
    /DLL Name:/                     { inside = (tolower($3) == "kavu_io.dll"); next }
    inside && /^[[:space:]]*$/      { inside = 0 }
    inside && NF >= 3 && $1 != "vma:" { print $NF }
  ' | LC_ALL=C sort >"$actual"
  printf '%s\n' "${configurator_imports[@]}" | LC_ALL=C sort >"$expected"
  if ! LC_ALL=C cmp -s "$expected" "$actual"; then
    echo "check-exports: $dll imports from kavu_io.dll:" >&2
    sed 's/^/  /' "$actual" >&2
    echo "check-exports: expected:" >&2
    sed 's/^/  /' "$expected" >&2
    exit 1
  fi
  echo "check-exports: $(basename "$dll") imports the configurator's $(wc -l <"$actual") names, as expected"
  exit 0
fi

# objdump -p prints the names under "[Ordinal/Name Pointer] Table" as
# "	[   3] Name", one per line, up to the next empty line.
"$objdump" -p "$dll" | awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[[:space:]]*$/          { inside = 0 }
  inside && match($0, /\] /)          { print substr($0, RSTART + 2) }
' | LC_ALL=C sort >"$actual"

if [ ! -s "$actual" ]; then
  echo "check-exports: $dll has no export table" >&2
  exit 1
fi

missing=$(LC_ALL=C comm -23 "$expected" "$actual")
unexpected=$(LC_ALL=C comm -13 "$expected" "$actual")
if [ -n "$missing" ] || [ -n "$unexpected" ]; then
  [ -z "$missing" ] || { echo "check-exports: $dll lacks:"; sed 's/^/  /' <<<"$missing"; } >&2
  [ -z "$unexpected" ] || { echo "check-exports: $dll exports in addition:"; sed 's/^/  /' <<<"$unexpected"; } >&2
  exit 1
fi
echo "check-exports: $(basename "$dll"): $(wc -l <"$actual") names, as expected"
