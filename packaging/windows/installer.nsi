; The per-user installer of Harvel: no administrator rights, installed into
; the user's programs folder, with a Start-menu shortcut and an entry in the
; user's installed-programs list; uninstall.exe beside harvel.exe marks the
; copy as installed. The build passes, with -D: VERSION, VERSION_QUAD,
; PROGRAM (the harvel.exe to ship), ICON and OUTFILE.
;
; Command line (besides NSIS's own /S, silent, and /D=folder):
;   /UPDATE  started by the program's updater. Every run closes a running
;            copy before it writes, and none touches the data folder, so an
;            update needs nothing more.
;   /R       starts the installed program when the installation succeeded.
;
; The uninstaller closes a running copy too, then removes the start-with-
; Windows value, the shortcut, the program files and the list entry; the
; data folder (settings) stays.

Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include WinMessages.nsh

!define PRODUCT "Harvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Harvel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The running program's single-instance window: message-only, of this class,
; named after the program's identifier. It takes WM_CLOSE as a quit request.
!define APP_WINDOW_CLASS "HarvelAppWindow"
!define APP_IDENTIFIER "uz.harvel.desktop"
!define HWND_MESSAGE -3
!define SYNCHRONIZE 0x00100000
; How long a closing copy may take to end (its hook thread alone may take 2 s).
!define CLOSE_WAIT_MS 15000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Harvel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Harvel ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "Harvel o‘rnatuvchisi"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\harvel.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Uzbek"

; The disk-space units of the stock Uzbek translation are garbled.
LangString ^Byte ${LANG_UZBEK} "B"
LangString ^Kilo ${LANG_UZBEK} " K"
LangString ^Mega ${LANG_UZBEK} " M"
LangString ^Giga ${LANG_UZBEK} " G"
LangString CLOSING ${LANG_UZBEK} "Harvel yopilmoqda…"
LangString NOT_CLOSED ${LANG_UZBEK} "Harvel yopilmadi. Uni tray menyusidagi “Chiqish” bilan yoping va qayta urinib ko‘ring."
LangString NOT_WRITTEN ${LANG_UZBEK} "Harvel fayli yozilmadi. Oldingi versiya saqlandi."
LangString NOT_REMOVED ${LANG_UZBEK} "Harvel fayli o‘chirilmadi. Harvel o‘rnatilganicha qoldi."

; Asks a running copy to quit as its tray's "Chiqish" does (hook stopped,
; tray icon removed; settings are saved as they change) and waits for the
; process to end. One that does not end in time stops the run before any
; file is touched.
!macro CLOSE_RUNNING_COPY un
Function ${un}CloseRunningCopy
  FindWindow $0 "${APP_WINDOW_CLASS}" "${APP_IDENTIFIER}" ${HWND_MESSAGE}
  ${If} $0 P= 0
    Return
  ${EndIf}
  DetailPrint "$(CLOSING)"
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $3 1
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; Without a handle to wait on, the window's end is the process's end.
    ${For} $4 1 150
      Sleep 100
      FindWindow $0 "${APP_WINDOW_CLASS}" "${APP_IDENTIFIER}" ${HWND_MESSAGE}
      ${If} $0 P= 0
        StrCpy $3 0
        ${Break}
      ${EndIf}
    ${Next}
  ${EndIf}
  ${If} $3 <> 0
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_CLOSED)" /SD IDOK
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

; Deletes the installed harvel.exe; the error flag stays set when it could
; not be. A process that has just ended may hold its image a moment longer.
!macro DELETE_PROGRAM
  ${For} $4 1 20
    ClearErrors
    Delete "$INSTDIR\harvel.exe"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    Sleep 250
  ${Next}
!macroend

Section
  SetOutPath "$INSTDIR"
  Call CloseRunningCopy

  ; harvel.exe is replaced whole or not at all: the new one is written
  ; beside it and renamed into place once the old one is gone.
  ClearErrors
  File "/oname=harvel.exe.new" "${PROGRAM}"
  ${If} ${Errors}
    Delete "$INSTDIR\harvel.exe.new"
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_WRITTEN)" /SD IDOK
    Abort
  ${EndIf}
  !insertmacro DELETE_PROGRAM
  ClearErrors
  Rename "$INSTDIR\harvel.exe.new" "$INSTDIR\harvel.exe"
  ${If} ${Errors}
    Delete "$INSTDIR\harvel.exe.new"
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_WRITTEN)" /SD IDOK
    Abort
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Harvel.lnk" "$INSTDIR\harvel.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\harvel.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function .onInstSuccess
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/R" $1
  ${IfNot} ${Errors}
  ${AndIf} $1 == ""
    ; Started as a normal start is: no arguments, from its own folder, with
    ; this installer's (the user's) rights.
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\harvel.exe"'
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CloseRunningCopy
  ; The program first: while it stays, so does everything else.
  !insertmacro DELETE_PROGRAM
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_REMOVED)" /SD IDOK
    Abort
  ${EndIf}
  DeleteRegValue HKCU "${RUN_KEY}" "Harvel"
  Delete "$SMPROGRAMS\Harvel.lnk"
  Delete "$INSTDIR\harvel.exe.new"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files the user put there stay.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
