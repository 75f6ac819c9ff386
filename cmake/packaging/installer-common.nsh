; What the installer and the uninstaller share: the names under which Windows lists the
; installation and the record of every DLL that was installed, one registry value each,
; so that removing takes exactly those files. makensis is given VERSION, VERSION_NUMBERS
; (four numbers), PUBLISHER, COPYRIGHT, STAGE (the folder of the files to pack) and
; OUTFILE on its command line; the including script defines DESCRIPTION.
Unicode true
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "SoftKneeShaper"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

VIProductVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${DESCRIPTION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

RequestExecutionLevel admin
SetCompressor /SOLID lzma

; Set when a recorded DLL could not be removed.
Var RemoveFailed

; The uninstall entry lives in the system's own registry view: the 64-bit one on 64-bit
; Windows, although these programs are 32-bit.
!macro UseNativeRegistryView
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
!macroend

; Removes the DLL that a record names, then the record. A file that cannot be removed
; (a host has it loaded) keeps its record, for another try, and sets RemoveFailed.
; The 64-bit folder is seen without the 32-bit program's file system redirection.
!macro RemoveRecordedDll width name
    ReadRegStr $R9 HKLM "${UNINSTALL_KEY}" "Installed ${width}-bit ${name}.dll"
    ${If} $R9 != ""
        ${If} ${width} == 64
            ${DisableX64FSRedirection}
        ${EndIf}
        ClearErrors
        Delete $R9
        ${If} ${Errors}
            DetailPrint "Could not remove $R9"
            StrCpy $RemoveFailed 1
        ${Else}
            DetailPrint "Removed $R9"
            DeleteRegValue HKLM "${UNINSTALL_KEY}" "Installed ${width}-bit ${name}.dll"
        ${EndIf}
        ${EnableX64FSRedirection}
    ${EndIf}
!macroend

!macro RemoveRecordedDlls
    StrCpy $RemoveFailed 0
    !insertmacro RemoveRecordedDll 64 SoftKneeShaper
    !insertmacro RemoveRecordedDll 64 SoftKneeShaperHQ
    !insertmacro RemoveRecordedDll 32 SoftKneeShaper
    !insertmacro RemoveRecordedDll 32 SoftKneeShaperHQ
!macroend

