; The uninstaller that setup.nsi installs beside README.txt: it removes the DLLs that
; the installation recorded, its own folder's files and the uninstall entry, and nothing
; else. It is a program of its own rather than NSIS's built-in uninstaller, which hands
; the work to a copy of itself and exits before it is done: this one's exit code says
; whether it worked (0, or 2 when something could not be removed or nothing is installed).
; Its own file it leaves to a copy of itself in the temporary folder, started last, which
; waits until this one has ended, removes it and the emptied folder, and is itself
; removed at the next start of Windows, as NSIS's copies are.
!define DESCRIPTION "Removes ${PRODUCT}"
!addincludedir "${__FILEDIR__}"
!include installer-common.nsh
!include MUI2.nsh
!include FileFunc.nsh

Name "${PRODUCT} ${VERSION}"
Caption "Uninstall ${PRODUCT}"
OutFile "${OUTFILE}"
ShowInstDetails show

Var InstallFolder

!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Uninstallation complete"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "${PRODUCT} was removed."
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

Function .onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/REMOVEUNINSTALLER=" $R1
    ${IfNot} ${Errors}
        Call RemoveUninstaller
        Quit
    ${EndIf}
    !insertmacro UseNativeRegistryView
    ReadRegStr $InstallFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $InstallFolder == ""
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is not installed." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONQUESTION "Remove ${PRODUCT} ${VERSION} from this computer?" /SD IDYES IDYES +3
        SetErrorLevel 1
        Quit
FunctionEnd

Section
    !insertmacro UseNativeRegistryView
    !insertmacro RemoveRecordedDlls
    ${If} $RemoveFailed == 1
        MessageBox MB_OK|MB_ICONSTOP "A DLL is in use; close every host and uninstall again." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    Delete "$InstallFolder\README.txt"
    Delete "$InstallFolder\LICENSE.txt"
    Delete "$InstallFolder\install.log"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    GetTempFileName $0
    Delete $0
    CreateDirectory $0
    CopyFiles /SILENT "$EXEPATH" "$0\uninstall.exe"
    Exec '"$0\uninstall.exe" /S /REMOVEUNINSTALLER="$InstallFolder"'
SectionEnd

; The copy's work: the installed uninstaller goes once the program that ran it has ended
; (within 30 seconds, else at the next start of Windows), then the folder if it is empty.
Function RemoveUninstaller
    StrCpy $0 0
    ${Do}
        ClearErrors
        Delete "$R1\uninstall.exe"
        ${IfNot} ${Errors}
        ${OrIf} $0 >= 300
            ${Break}
        ${EndIf}
        Sleep 100
        IntOp $0 $0 + 1
    ${Loop}
    Delete /REBOOTOK "$R1\uninstall.exe"
    RMDir /REBOOTOK "$R1"
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK "$EXEDIR"
FunctionEnd
