#!/usr/bin/env bash
# Builds the Windows installer into a temporary folder and, in a fresh 64-bit Wine prefix
# of its own, runs one silent install and uninstall per row of the table below. Each
# checks the exit codes, the files in both VST folders (the packed DLLs and the user's
# files, nothing else), the uninstall entry, and that uninstalling leaves exactly the
# user's files and no entry.
#
#   check_installer.sh WINE-RUN CMAKE INSTALLER-NAME VERSION MAKE-INSTALLER-ARGS...
set -euo pipefail
wine_run=$1 cmake=$2 name=$3 version=$4
shift 4

scratch=$(mktemp -d)
export WINEARCH=win64 WINEPREFIX="$scratch/wine/prefix" TMPDIR="$scratch/wine/tmp"
cleanup() { [[ -d $WINEPREFIX ]] && timeout 30 wineserver -k 2>/dev/null; rm -rf "$scratch"; }
trap cleanup EXIT
fail() { echo "$*" >&2; exit 1; }

"$cmake" -DOUTPUT="$scratch/$name" -DWORK="$scratch/stage" "$@" >"$scratch/make.log" 2>&1 ||
    { cat "$scratch/make.log" >&2; fail "building the installer failed"; }

# Every Windows program runs to its end, and so does whatever it started.
run() { timeout 300 "$wine_run" "$scratch/wine" "$@"; }
settle() { timeout 60 wineserver -w; }
unix_path() { local p=${1//\\//}; echo "$WINEPREFIX/drive_c/${p#C:/}"; }
listing() { if [[ -d $1 ]]; then ls -A "$1" | sort | tr '\n' ' '; fi; }
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SoftKneeShaper'
install_dir=$(unix_path 'C:\Program Files\SoftKneeShaper')
default64='C:\Program Files\Common Files\VST2' default32='C:\Program Files (x86)\Common Files\VST2'
all="SoftKneeShaper.dll SoftKneeShaperHQ.dll"

# setup options | exit code | VSTPluginsPath, 64-bit view | 32-bit view | user files in both | DLLs expected, 64-bit | 32-bit
table="
|0|C:\Studio\VST 64|C:\Studio\VST 32\\|notes.txt|$all|$all
|0|||-|$all|$all
/NO32BIT|0|C:\Studio\VST 64|C:\Studio\VST 32|notes.txt|$all|
/NOHQ|0|C:\Studio\VST 64|C:\Studio\VST 32|notes.txt SoftKneeShaperHQ.dll|SoftKneeShaper.dll|SoftKneeShaper.dll
|2|C:\Studio\VST 64|C:\Studio\not a folder|-|$all|"
while IFS='|' read -r options code path64 path32 user_files dlls64 dlls32; do
    [[ -n $code ]] || continue
    row="row '$options|$code|$path64|$path32'"
    for view in 64 32; do
        path_var=path$view default_var=default$view
        if [[ -n ${!path_var} ]]; then
            run reg add 'HKLM\SOFTWARE\VST' /v VSTPluginsPath /d "${!path_var}" /f /reg:$view >/dev/null
        else
            run reg delete 'HKLM\SOFTWARE\VST' /v VSTPluginsPath /f /reg:$view >/dev/null 2>&1 || true
            printf -v "$path_var" '%s' "${!default_var}"
        fi
    done
    folder64=$(unix_path "${path64%\\}") folder32=$(unix_path "${path32%\\}")
    # A folder that is a file: the installer cannot write there.
    [[ $path32 == *'not a folder' ]] && mkdir -p "$(dirname "$folder32")" && echo taken >"$folder32"
    users=""
    if [[ $user_files != - ]]; then
        users=$(for file in $user_files; do echo "$file"; done | sort | tr '\n' ' ')
        for folder in "$folder64" "$folder32"; do
            mkdir -p "$folder"
            for file in $user_files; do echo "the user's $file in $folder" >"$folder/$file"; done
        done
    fi

    status=0
    run "$scratch/$name" /S $options || status=$?
    settle
    [[ $status -eq $code ]] || fail "$row: setup exited with $status"
    for view in 64 32; do
        folder_var=folder$view dlls_var=dlls$view
        [[ -d ${!folder_var} ]] || continue
        expected=$(for file in $users ${!dlls_var}; do echo "$file"; done | sort -u | tr '\n' ' ')
        [[ $(listing "${!folder_var}") == "$expected" ]] ||
            fail "$row: the $view-bit folder holds $(listing "${!folder_var}"), not $expected"
        for dll in ${!dlls_var}; do
            cmp -s "$scratch/stage/win$view/$dll" "${!folder_var}/$dll" ||
                fail "$row: $dll in the $view-bit folder is not the packed $view-bit DLL"
        done
    done
    registered=$(run reg query "$entry" /reg:64) || fail "$row: no uninstall entry"
    for value in "DisplayName.*SoftKneeShaper" "DisplayVersion.*$version" "Publisher.*The SoftKneeShaper authors" \
        "EstimatedSize.*REG_DWORD.*0x[1-9a-f]" 'UninstallString.*uninstall\.exe'; do
        grep -q "$value" <<<"$registered" || fail "$row: the uninstall entry has no $value:"$'\n'"$registered"
    done
    echo "$row installed:"$'\n'"$registered"
    [[ $code -ne 0 ]] || iconv -f UTF-16 -t UTF-8 "$install_dir/install.log"

    run 'C:\Program Files\SoftKneeShaper\uninstall.exe' /S || fail "$row: the uninstaller exited with $?"
    settle
    for folder in "$folder64" "$folder32"; do
        [[ -d $folder ]] || continue
        [[ $(listing "$folder") == "$users" ]] || fail "$row: after uninstalling, $folder holds $(listing "$folder")"
        for file in $users; do
            [[ $(cat "$folder/$file") == "the user's $file in $folder" ]] || fail "$row: the user's $file changed"
        done
    done
    [[ ! -e $install_dir ]] || fail "$row: $install_dir is left: $(listing "$install_dir")"
    ! run reg query "$entry" /reg:64 >/dev/null 2>&1 || fail "$row: the uninstall entry is left"
    [[ $user_files == - ]] || rm -r "$folder64" "$folder32"
    rm -f "$(unix_path 'C:\Studio\not a folder')"
done <<<"$table"
echo "$name: $(grep -c '|' <<<"$table") install and uninstall cycles"
