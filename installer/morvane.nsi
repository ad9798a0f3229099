; Morvane's installer: per machine into Program Files\Morvane, a Start-menu
; shortcut, the "Apps & features" entry and an uninstaller. Built by
; tools/make-dist.sh, which passes:
;   VERSION  2.91.N           STAGE  folder holding Morvane.exe and policies\
;   OUTFILE  the setup exe    ICON   the program icon
; Command line (also with /S): /AUTOSTART sets the machine's Run value (every
; user), /START starts Morvane at the end, as the signed-in user. The
; uninstaller takes /REMOVESETTINGS.
;
; The installer runs elevated; Morvane must not. A program started from here
; would inherit the administrator's token for the whole session while it reads
; rule files and choices the user can write. So it is never started directly:
; the shell (Explorer), which runs as the signed-in user, is asked to start it.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Morvane"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvane"
; The event source "Morvane" in the Application log; its texts are the
; message table inside Morvane.exe.
!define EVENT_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Morvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's own run value and settings (settings/settings_groups.h).
!define RUN_VALUE "Morvane.exe"
!define SETTINGS_KEY "SOFTWARE\Calderix\Morvane"
!define COMPANY_KEY "SOFTWARE\Calderix"
; The hidden main window's class, and the tray menu's "Exit" (res/shell_ids.h).
!define WINDOW_CLASS "Morvane"
!define IDM_EXIT 1015
; How long a running instance gets to finish its exit sweep.
!define EXIT_WAIT_MS 60000

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "Calderix"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) Calderix"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Morvane now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var RemoveSettings

; Asks a running Morvane to exit through its window, as the tray's "Exit"
; does (a second start reaches it the same way), and waits for the process to
; end: it may be sweeping on its way out. Never kills it.
!macro StopRunning un
Function ${un}StopRunning
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 = 0
    Return
  ${EndIf}
  DetailPrint "Asking the running Morvane to exit..."
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
  ; SYNCHRONIZE
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
  System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${IDM_EXIT}, p 0)'
  ${If} $2 != 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; No handle: watch the window instead, then give the process a moment
    ; to end after it.
    StrCpy $3 0
    ${DoWhile} $3 < ${EXIT_WAIT_MS}
      Sleep 250
      IntOp $3 $3 + 250
      FindWindow $0 "${WINDOW_CLASS}"
      ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
    ${Loop}
    Sleep 1000
  ${EndIf}
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Morvane is still running. Exit it from its tray menu, then run this again." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd
!macroend
!insertmacro StopRunning ""
!insertmacro StopRunning "un."

Section "Morvane" SecMain
  SectionIn RO
  SetRegView 64
  Call StopRunning
  SetOutPath "$INSTDIR"
  File "${STAGE}\Morvane.exe"
  SetOutPath "$INSTDIR\policies"
  File "${STAGE}\policies\morvane.admx"
  SetOutPath "$INSTDIR\policies\en-US"
  File "${STAGE}\policies\en-US\morvane.adml"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Morvane.lnk" "$INSTDIR\Morvane.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Calderix"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$\"$INSTDIR\Morvane.exe$\",0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ; Error, warning and information events (1 | 2 | 4).
  WriteRegExpandStr HKLM "${EVENT_KEY}" "EventMessageFile" "$INSTDIR\Morvane.exe"
  WriteRegDWORD HKLM "${EVENT_KEY}" "TypesSupported" 7
SectionEnd

; For every user of the machine: the machine's Run key. (The program's own
; "Auto Start with Windows" writes the same value name per user.)
Section /o "Start Morvane with Windows" SecAutoStart
  SetRegView 64
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" "$\"$INSTDIR\Morvane.exe$\""
SectionEnd

; Starts Morvane through the shell: Explorer started from an elevated process
; hands the start to the signed-in user's shell, which starts the program with
; the user's own rights. Without a shell it starts at the next sign-in (when
; chosen) or from the Start menu.
Function StartAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Morvane.exe"'
FunctionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecAutoStart} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  ${If} ${Silent}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/START" $R1
    ${IfNot} ${Errors}
      Call StartAsUser
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  StrCpy $RemoveSettings 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $R1
  ${IfNot} ${Errors}
    StrCpy $RemoveSettings 1
  ${Else}
    ; Silent: keep them.
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove Morvane's settings too?" /SD IDNO IDNO +2
    StrCpy $RemoveSettings 1
  ${EndIf}
FunctionEnd

; Only what the installer put there (the machine's Run value among it), the
; uninstalling user's own Run value (the program writes it) and, when asked,
; the program's own settings keys; nothing else.
Section "Uninstall"
  SetRegView 64
  Call un.StopRunning
  Delete "$INSTDIR\Morvane.exe"
  Delete "$INSTDIR\policies\en-US\morvane.adml"
  RMDir "$INSTDIR\policies\en-US"
  Delete "$INSTDIR\policies\morvane.admx"
  RMDir "$INSTDIR\policies"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\Morvane.lnk"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINST_KEY}"
  ; The events already written stay in the log; without the source they
  ; show their insertion strings only.
  DeleteRegKey HKLM "${EVENT_KEY}"
  ${If} $RemoveSettings = 1
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "${COMPANY_KEY}"
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "${COMPANY_KEY}"
  ${EndIf}
SectionEnd
