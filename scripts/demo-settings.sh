#!/usr/bin/env bash
# Presets a settings file for the demo: offline mode with two simulated amplifiers of 8 channels.
# Only those keys are set ([Global] Interfaces, [Virtual] Devices and Channels); every other
# line of the file stays as it is. Section and key names match whatever their case; the file
# keeps a leading UTF-8 byte-order mark, which, as for the program, is no part of the first
# line. Lines end in CR LF, LF or CR, as the program reads them, and are written with CR LF.
# A missing file is created with an empty LAN list as well.
#
#   scripts/demo-settings.sh FILE
set -euo pipefail
file=${1:?usage: demo-settings.sh FILE}
mkdir -p "$(dirname "$file")"
if [ ! -f "$file" ]; then
    # Interfaces are stored as kinds: 4 is the simulated transport only.
    printf '[Global]\r\nInterfaces=4\r\n[Virtual]\r\nDevices=2\r\nChannels=8\r\n[LAN]\r\nDevices=\r\n' >"$file"
    exit 0
fi
# Bytes, not characters: the mark and Windows-1252 text pass as they are.
LC_ALL=C awk '
BEGIN {
    n = split("global interfaces Interfaces 4|virtual devices Devices 2|virtual channels Channels 8", items, "|")
    for (i = 1; i <= n; i++) {
        split(items[i], f, " ")
        sec[i] = f[1]; name[i] = f[3]; value[i] = f[4]
        want[f[1], f[2]] = i
    }
    title["global"] = "Global"; title["virtual"] = "Virtual"
    section = ""
}
function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
# The keys of the section being left that it did not have.
function finish(   i) {
    for (i = 1; i <= n; i++)
        if (sec[i] == section && !(i in done)) { printf "%s=%s\r\n", name[i], value[i]; done[i] = 1 }
}
# One line of the file, without its line end.
function handle(text, first,   mark, line, eq, k, i) {
    mark = ""
    if (first && substr(text, 1, 3) == "\357\273\277") {
        mark = substr(text, 1, 3)
        text = substr(text, 4)
    }
    line = trim(text)
    if (line ~ /^\[.*\]/) {
        finish()
        section = tolower(trim(substr(line, 2, index(line, "]") - 2)))
        seen[section] = 1
        print mark text "\r"
        return
    }
    eq = index(line, "=")
    if (eq > 0 && line !~ /^;/) {
        k = section SUBSEP tolower(trim(substr(line, 1, eq - 1)))
        if (k in want) {
            i = want[k]
            printf "%s%s=%s\r\n", mark, trim(substr(line, 1, eq - 1)), value[i]
            done[i] = 1
            return
        }
    }
    print mark text "\r"
}
# Lines end as the program reads them: CR LF, LF or a lone CR.
{
    sub(/\r$/, "")
    m = split($0, parts, "\r")
    if (m == 0) { m = 1; parts[1] = "" }
    for (p = 1; p <= m; p++) handle(parts[p], NR == 1 && p == 1)
}
END {
    finish()
    split("global virtual", order, " ")
    for (j = 1; j <= 2; j++) {
        if (order[j] in seen) continue
        section = order[j]
        printf "[%s]\r\n", title[section]
        finish()
    }
}
' "$file" >"$file.new"
mv "$file.new" "$file"
