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
; Windows value, the shortcut, the program files, the web views' profile
; (a cache in the local application data) and the list entry; the data
; folder (settings) stays.
;
; Every text the pages show is our own (below the pages): NSIS's stock Uzbek
; strings are misspelt.

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
; The progress page stays when it is done, with its details shown.
!define MUI_FINISHPAGE_NOAUTOCLOSE
; Modern UI gives every page the subcaption " ", which NSIS appends to the
; window's caption: each page sets the caption whole again when it shows.
; The state after the progress has no callbacks; its subcaption is an empty
; variable, which NSIS takes as a text of our own and which shows as nothing.
Var NoSubcaption
!define MUI_PAGE_CUSTOMFUNCTION_SHOW SetCaption
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_CUSTOMFUNCTION_SHOW SetCaption
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW SetCaption
!insertmacro MUI_PAGE_FINISH
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.SetCaption
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.SetCaption
!insertmacro MUI_UNPAGE_INSTFILES
SubCaption 4 "$NoSubcaption"
UninstallSubCaption 2 "$NoSubcaption"
!insertmacro MUI_LANGUAGE "Uzbek"

; The texts of the pages, buttons, progress lines and messages, in place of
; the stock translation's. "‘" as in o‘ and g‘, "’" as the tutuq belgisi,
; as in the program's own texts.
LangString ^SetupCaption ${LANG_UZBEK} "Harvel o‘rnatuvchisi"
LangString ^UninstallCaption ${LANG_UZBEK} "Harvel’ni o‘chirish"
LangString ^BackBtn ${LANG_UZBEK} "< &Orqaga"
LangString ^NextBtn ${LANG_UZBEK} "&Keyingi >"
LangString ^InstallBtn ${LANG_UZBEK} "&O‘rnatish"
LangString ^UninstallBtn ${LANG_UZBEK} "O‘&chirish"
LangString ^CancelBtn ${LANG_UZBEK} "Bekor qilish"
LangString ^CloseBtn ${LANG_UZBEK} "&Yopish"
LangString ^BrowseBtn ${LANG_UZBEK} "&Tanlash…"
LangString ^ShowDetailsBtn ${LANG_UZBEK} "&Batafsil"
LangString ^ClickNext ${LANG_UZBEK} "Davom etish uchun “Keyingi” tugmasini bosing."
LangString ^ClickInstall ${LANG_UZBEK} "O‘rnatish uchun “O‘rnatish” tugmasini bosing."
LangString ^ClickUninstall ${LANG_UZBEK} "O‘chirish uchun “O‘chirish” tugmasini bosing."
LangString ^Completed ${LANG_UZBEK} "Tayyor"
LangString ^DirText ${LANG_UZBEK} "Harvel quyidagi papkaga o‘rnatiladi. Boshqa papkani “Tanlash” tugmasi bilan tanlash mumkin. $_CLICK"
LangString ^DirSubText ${LANG_UZBEK} "O‘rnatish papkasi"
LangString ^DirBrowseText ${LANG_UZBEK} "Harvel o‘rnatiladigan papkani tanlang:"
LangString ^SpaceAvailable ${LANG_UZBEK} "Diskda bo‘sh joy: "
LangString ^SpaceRequired ${LANG_UZBEK} "Kerakli joy: "
LangString ^UninstallingText ${LANG_UZBEK} "Harvel quyidagi papkadan o‘chiriladi. Sozlamalaringiz saqlanib qoladi. $_CLICK"
LangString ^UninstallingSubText ${LANG_UZBEK} "Papka:"
LangString ^FileError ${LANG_UZBEK} "Faylni yozish uchun ochib bo‘lmadi:$\r$\n$\t$0$\r$\nO‘rnatishni to‘xtatish, qayta urinish yoki bu faylni o‘tkazib yuborishni tanlang."
LangString ^FileError_NoIgnore ${LANG_UZBEK} "Faylni yozish uchun ochib bo‘lmadi:$\r$\n$\t$0$\r$\nQayta urinish yoki o‘rnatishni bekor qilishni tanlang."
LangString ^CantWrite ${LANG_UZBEK} "Yozib bo‘lmadi: "
LangString ^CopyFailed ${LANG_UZBEK} "Nusxalab bo‘lmadi"
LangString ^CopyTo ${LANG_UZBEK} "Nusxalanmoqda: "
LangString ^Registering ${LANG_UZBEK} "Ro‘yxatga olinmoqda: "
LangString ^Unregistering ${LANG_UZBEK} "Ro‘yxatdan chiqarilmoqda: "
LangString ^SymbolNotFound ${LANG_UZBEK} "Belgi topilmadi: "
LangString ^CouldNotLoad ${LANG_UZBEK} "Yuklab bo‘lmadi: "
LangString ^CreateFolder ${LANG_UZBEK} "Papka yaratildi: "
LangString ^CreateShortcut ${LANG_UZBEK} "Yorliq yaratildi: "
LangString ^CreatedUninstaller ${LANG_UZBEK} "O‘chirish dasturi yaratildi: "
LangString ^Delete ${LANG_UZBEK} "O‘chirildi: "
LangString ^DeleteOnReboot ${LANG_UZBEK} "Kompyuter qayta yonganda o‘chiriladi: "
LangString ^ErrorCreatingShortcut ${LANG_UZBEK} "Yorliq yaratilmadi: "
LangString ^ErrorCreating ${LANG_UZBEK} "Yaratilmadi: "
LangString ^ErrorDecompressing ${LANG_UZBEK} "Ma’lumotni ochib bo‘lmadi. O‘rnatuvchi fayl buzilgan bo‘lishi mumkin."
LangString ^ErrorRegistering ${LANG_UZBEK} "DLL ro‘yxatga olinmadi"
LangString ^ExecShell ${LANG_UZBEK} "Ochilmoqda: "
LangString ^Exec ${LANG_UZBEK} "Ishga tushirilmoqda: "
LangString ^Extract ${LANG_UZBEK} "Yozilmoqda: "
LangString ^ErrorWriting ${LANG_UZBEK} "Faylga yozib bo‘lmadi: "
LangString ^InvalidOpcode ${LANG_UZBEK} "O‘rnatuvchi fayl buzilgan: noma’lum buyruq"
LangString ^NoOLE ${LANG_UZBEK} "OLE yo‘q: "
LangString ^OutputFolder ${LANG_UZBEK} "Papka: "
LangString ^RemoveFolder ${LANG_UZBEK} "Papka o‘chirildi: "
LangString ^RenameOnReboot ${LANG_UZBEK} "Kompyuter qayta yonganda nomi o‘zgaradi: "
LangString ^Rename ${LANG_UZBEK} "Nomi o‘zgartirildi: "
LangString ^Skipped ${LANG_UZBEK} "O‘tkazib yuborildi: "
LangString ^CopyDetails ${LANG_UZBEK} "Tafsilotlardan nusxa olish"
LangString ^LogInstall ${LANG_UZBEK} "O‘rnatish jurnalini yozish"
; The disk-space units (of the stock translation: garbled).
LangString ^Byte ${LANG_UZBEK} "B"
LangString ^Kilo ${LANG_UZBEK} " K"
LangString ^Mega ${LANG_UZBEK} " M"
LangString ^Giga ${LANG_UZBEK} " G"
; Modern UI's own strings, which its language file has set already.
!pragma warning push
!pragma warning disable 6030
LangString MUI_TEXT_DIRECTORY_TITLE ${LANG_UZBEK} "O‘rnatish joyi"
LangString MUI_TEXT_DIRECTORY_SUBTITLE ${LANG_UZBEK} "Harvel qaysi papkaga o‘rnatilishini tanlang."
LangString MUI_TEXT_INSTALLING_TITLE ${LANG_UZBEK} "O‘rnatilmoqda"
LangString MUI_TEXT_INSTALLING_SUBTITLE ${LANG_UZBEK} "Harvel o‘rnatilmoqda, biroz kuting."
LangString MUI_TEXT_FINISH_TITLE ${LANG_UZBEK} "O‘rnatish tugadi"
LangString MUI_TEXT_FINISH_SUBTITLE ${LANG_UZBEK} "Harvel o‘rnatildi."
LangString MUI_TEXT_ABORT_TITLE ${LANG_UZBEK} "O‘rnatish to‘xtatildi"
LangString MUI_TEXT_ABORT_SUBTITLE ${LANG_UZBEK} "Harvel o‘rnatilmadi."
LangString MUI_TEXT_FINISH_INFO_TITLE ${LANG_UZBEK} "Harvel o‘rnatildi"
LangString MUI_TEXT_FINISH_INFO_TEXT ${LANG_UZBEK} "Harvel kompyuteringizga o‘rnatildi.$\r$\n$\r$\nO‘rnatuvchini yopish uchun “Tayyor” tugmasini bosing."
LangString MUI_TEXT_FINISH_INFO_REBOOT ${LANG_UZBEK} "O‘rnatish tugashi uchun kompyuterni qayta yoqish kerak. Hozir qayta yoqilsinmi?"
LangString MUI_TEXT_FINISH_REBOOTNOW ${LANG_UZBEK} "Ha, hozir qayta yoqilsin"
LangString MUI_TEXT_FINISH_REBOOTLATER ${LANG_UZBEK} "Yo‘q, keyinroq o‘zim qayta yoqaman"
LangString MUI_TEXT_FINISH_RUN ${LANG_UZBEK} "Harvel’ni ishga tushirish"
LangString MUI_BUTTONTEXT_FINISH ${LANG_UZBEK} "&Tayyor"
LangString MUI_UNTEXT_CONFIRM_TITLE ${LANG_UZBEK} "Harvel’ni o‘chirish"
LangString MUI_UNTEXT_CONFIRM_SUBTITLE ${LANG_UZBEK} "Harvel kompyuteringizdan o‘chiriladi."
LangString MUI_UNTEXT_UNINSTALLING_TITLE ${LANG_UZBEK} "O‘chirilmoqda"
LangString MUI_UNTEXT_UNINSTALLING_SUBTITLE ${LANG_UZBEK} "Harvel o‘chirilmoqda, biroz kuting."
LangString MUI_UNTEXT_FINISH_TITLE ${LANG_UZBEK} "O‘chirish tugadi"
LangString MUI_UNTEXT_FINISH_SUBTITLE ${LANG_UZBEK} "Harvel o‘chirildi."
LangString MUI_UNTEXT_ABORT_TITLE ${LANG_UZBEK} "O‘chirish to‘xtatildi"
LangString MUI_UNTEXT_ABORT_SUBTITLE ${LANG_UZBEK} "Harvel to‘liq o‘chirilmadi."
!pragma warning pop
LangString CLOSING ${LANG_UZBEK} "Harvel yopilmoqda…"
LangString NOT_CLOSED ${LANG_UZBEK} "Harvel yopilmadi. Uni tray menyusidagi “Chiqish” bilan yoping va qayta urinib ko‘ring."
LangString NOT_WRITTEN ${LANG_UZBEK} "Harvel fayli yozilmadi. Oldingi versiya saqlandi."
LangString NOT_REMOVED ${LANG_UZBEK} "Harvel fayli o‘chirilmadi. Harvel o‘rnatilganicha qoldi."

Function .onInit
  StrCpy $NoSubcaption ""
FunctionEnd

Function un.onInit
  StrCpy $NoSubcaption ""
FunctionEnd

Function SetCaption
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(^SetupCaption)"
FunctionEnd

Function un.SetCaption
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(^UninstallCaption)"
FunctionEnd

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

; Adds the size of a file in bytes to $0.
!macro ADD_FILE_SIZE FILE
  ClearErrors
  FileOpen $1 "${FILE}" r
  ${IfNot} ${Errors}
    FileSeek $1 0 END $2
    FileClose $1
    IntOp $0 $0 + $2
  ${EndIf}
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
  ; The size of the two files in KiB (measured here: GetSize would show its
  ; own English progress text).
  StrCpy $0 0
  !insertmacro ADD_FILE_SIZE "$INSTDIR\harvel.exe"
  !insertmacro ADD_FILE_SIZE "$INSTDIR\uninstall.exe"
  IntOp $0 $0 / 1024
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
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
  ; The web views' profile, a cache, goes with the program; its runtime's
  ; processes may hold it a moment after the program has ended. The settings
  ; live in the roaming folder and stay.
  ${For} $4 1 20
    RMDir /r "$LOCALAPPDATA\${APP_IDENTIFIER}\WebView2"
    ${IfNot} ${FileExists} "$LOCALAPPDATA\${APP_IDENTIFIER}\WebView2\*.*"
      ${Break}
    ${EndIf}
    Sleep 250
  ${Next}
  ; The single-instance lock the program holds while it runs.
  Delete "$LOCALAPPDATA\${APP_IDENTIFIER}\instance.lock"
  RMDir "$LOCALAPPDATA\${APP_IDENTIFIER}"
  ; Only when empty: files the user put there stay.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
