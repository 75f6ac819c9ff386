; The Windows installer: both effects for 64-bit and 32-bit hosts, each width into the
; folder that hosts of that width take from VSTPluginsPath, and an uninstaller that
; Windows lists. Built by make-installer.cmake.
;
; Silent use: setup.exe /S installs with the folders below. /NO64BIT, /NO32BIT, /NOHQ and
; /NOSHAPER leave out the 64-bit DLLs, the 32-bit DLLs, SoftKneeShaper HQ or the first
; effect. The exit code is 0 when every file is in place, 2 when the installation failed
; or had nothing to install, 1 when it was cancelled.
!define DESCRIPTION "Installs ${PRODUCT}, VST 2 effects"
!addincludedir "${__FILEDIR__}"
!include installer-common.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include Sections.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; The uninstaller and the texts; the DLLs go into the VST folders.
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A file that cannot be written fails the installation instead of being skipped.
AllowSkipFiles off
ShowInstDetails show

Var Folder64
Var Folder32
Var Log

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS

!define MUI_PAGE_HEADER_TEXT "Folder for 64-bit hosts"
!define MUI_PAGE_HEADER_SUBTEXT "Where 64-bit hosts look for VST effects."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 64-bit DLLs go into this folder: the one that VSTPluginsPath names for 64-bit hosts, or the common VST2 folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Folder for 64-bit DLLs"
!define MUI_DIRECTORYPAGE_VARIABLE $Folder64
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWithout64
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Folder for 32-bit hosts"
!define MUI_PAGE_HEADER_SUBTEXT "Where 32-bit hosts look for VST effects."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The 32-bit DLLs go into this folder: the one that VSTPluginsPath names for 32-bit hosts, or the common VST2 folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Folder for 32-bit DLLs"
!define MUI_DIRECTORYPAGE_VARIABLE $Folder32
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWithout32
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; Copies one DLL into its width's folder, records it for the uninstaller and logs it.
!macro InstallDll width name
    ${If} ${width} == 64
        ${DisableX64FSRedirection}
    ${EndIf}
    ClearErrors
    SetOutPath $Folder${width}
    File "${STAGE}/win${width}/${name}.dll"
    ${If} ${Errors}
        ${EnableX64FSRedirection}
        DetailPrint "Could not write $Folder${width}\${name}.dll"
        SetErrorLevel 2
        Abort
    ${EndIf}
    ${EnableX64FSRedirection}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Installed ${width}-bit ${name}.dll" "$Folder${width}\${name}.dll"
    FileWriteUTF16LE $Log "${width}-bit ${name}.dll: $Folder${width}\${name}.dll$\r$\n"
!macroend

; First: what an earlier installation put elsewhere goes, and the uninstaller and the
; uninstall entry are in place before any DLL, so a failed installation can be removed.
Section "-Uninstaller" SecBegin
    !insertmacro UseNativeRegistryView
    Call AbortWithoutDll
    !insertmacro RemoveRecordedDlls
    ${If} $RemoveFailed == 1
        MessageBox MB_OK|MB_ICONSTOP "A DLL of the earlier installation is in use; close every host and try again." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    SetOutPath $INSTDIR
    File "${STAGE}/uninstall.exe"
    File "${STAGE}/README.txt"
    File "${STAGE}/LICENSE.txt"
    ClearErrors
    FileOpen $Log "$INSTDIR\install.log" w
    ${If} ${Errors}
        SetErrorLevel 2
        Abort
    ${EndIf}
    FileWriteUTF16LE /BOM $Log "${PRODUCT} ${VERSION}$\r$\n"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (VST 2 effects)"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    Call WriteEstimatedSize
SectionEnd

SectionGroup /e "For 64-bit hosts" Sec64
    Section "SoftKneeShaper" Sec64Shaper
        !insertmacro InstallDll 64 SoftKneeShaper
    SectionEnd
    Section "SoftKneeShaper HQ" Sec64Hq
        !insertmacro InstallDll 64 SoftKneeShaperHQ
    SectionEnd
SectionGroupEnd

SectionGroup /e "For 32-bit hosts" Sec32
    Section "SoftKneeShaper" Sec32Shaper
        !insertmacro InstallDll 32 SoftKneeShaper
    SectionEnd
    Section "SoftKneeShaper HQ" Sec32Hq
        !insertmacro InstallDll 32 SoftKneeShaperHQ
    SectionEnd
SectionGroupEnd

Section "-Log" SecEnd
    FileClose $Log
SectionEnd

!macro AddSizeIfSelected section
    ${If} ${SectionIsSelected} ${section}
        SectionGetSize ${section} $1
        IntOp $0 $0 + $1
    ${EndIf}
!macroend

; The size Windows shows, in KiB: the sections chosen.
Function WriteEstimatedSize
    SectionGetSize ${SecBegin} $0
    !insertmacro AddSizeIfSelected ${Sec64Shaper}
    !insertmacro AddSizeIfSelected ${Sec64Hq}
    !insertmacro AddSizeIfSelected ${Sec32Shaper}
    !insertmacro AddSizeIfSelected ${Sec32Hq}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

Function AbortWithoutDll
    ${IfNot} ${SectionIsSelected} ${Sec64Shaper}
    ${AndIfNot} ${SectionIsSelected} ${Sec64Hq}
    ${AndIfNot} ${SectionIsSelected} ${Sec32Shaper}
    ${AndIfNot} ${SectionIsSelected} ${Sec32Hq}
        MessageBox MB_OK|MB_ICONSTOP "No effect is selected: nothing to install." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
FunctionEnd

; A folder from the registry may hold environment variables and end in a backslash.
!macro ReadVstFolder folder default
    ReadRegStr ${folder} HKLM "SOFTWARE\VST" "VSTPluginsPath"
    ExpandEnvStrings ${folder} ${folder}
    StrCpy $R1 ${folder} "" -1
    ${If} $R1 == "\"
        StrCpy ${folder} ${folder} -1
    ${EndIf}
    ${If} ${folder} == ""
        StrCpy ${folder} "${default}"
    ${EndIf}
!macroend

; A switch on the command line that leaves out two components.
!macro LeaveOutIfAsked switch first second
    ClearErrors
    ${GetOptions} $R0 "${switch}" $R1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${first}
        !insertmacro UnselectSection ${second}
    ${EndIf}
!macroend

; The folders: VSTPluginsPath in each registry view, else the common VST2 folders. On
; 32-bit Windows only the 32-bit DLLs can be installed.
Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
        !insertmacro ReadVstFolder $Folder64 "$COMMONFILES64\VST2"
        SetRegView 32
    ${Else}
        !insertmacro UnselectSection ${Sec64Shaper}
        !insertmacro UnselectSection ${Sec64Hq}
        !insertmacro SetSectionFlag ${Sec64Shaper} ${SF_RO}
        !insertmacro SetSectionFlag ${Sec64Hq} ${SF_RO}
        SectionSetText ${Sec64} ""
    ${EndIf}
    !insertmacro ReadVstFolder $Folder32 "$COMMONFILES32\VST2"

    ${GetParameters} $R0
    !insertmacro LeaveOutIfAsked "/NO64BIT" ${Sec64Shaper} ${Sec64Hq}
    !insertmacro LeaveOutIfAsked "/NO32BIT" ${Sec32Shaper} ${Sec32Hq}
    !insertmacro LeaveOutIfAsked "/NOSHAPER" ${Sec64Shaper} ${Sec32Shaper}
    !insertmacro LeaveOutIfAsked "/NOHQ" ${Sec64Hq} ${Sec32Hq}
FunctionEnd

Function SkipWithout64
    ${IfNot} ${SectionIsSelected} ${Sec64Shaper}
    ${AndIfNot} ${SectionIsSelected} ${Sec64Hq}
        Abort
    ${EndIf}
FunctionEnd

Function SkipWithout32
    ${IfNot} ${SectionIsSelected} ${Sec32Shaper}
    ${AndIfNot} ${SectionIsSelected} ${Sec32Hq}
        Abort
    ${EndIf}
FunctionEnd
