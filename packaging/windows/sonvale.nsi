; The Windows installer: Sonvale.exe, lame_enc.dll, libsoxr.dll, the help page
; and the libraries' licence terms in the 32-bit Program Files folder, a Start-menu
; shortcut, an entry in Add/Remove Programs and firewall rules for the
; player's two ports. scripts/package.sh builds it:
;   makensis -DVERSION=1.0.0.1 -DBIN=<folder with the five files> -DOUTFILE=<setup.exe> sonvale.nsi
; With -DTARGET=amd64-unicode the same script packs the x86-64 build, which is
; how it is tried out under 64-bit Wine where 32-bit programs cannot run.

!ifndef VERSION
  !error "VERSION, BIN and OUTFILE must be defined"
!endif
!ifndef BIN
  !error "VERSION, BIN and OUTFILE must be defined"
!endif
!ifndef OUTFILE
  !error "VERSION, BIN and OUTFILE must be defined"
!endif
!ifdef TARGET
  Target ${TARGET}
!else
  Unicode true
!endif

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sonvale"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The player's window: its caption, and the Exit command of its File menu.
!define PLAYER_CAPTION "Sonvale(播放端)"
!define PLAYER_EXIT_COMMAND 32775

Name "Sonvale"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\Sonvale"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Program Files, HKLM and the firewall need an administrator; the player
; itself runs as whoever starts it.
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma
BrandingText "Sonvale ${VERSION}"

!define MUI_ICON "..\..\res\sonvale.ico"
!define MUI_UNICON "..\..\res\sonvale.ico"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "Sonvale"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "Sonvale 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "Sonvale"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "Copyright (C) 2026 Sonvale"

; A running player holds Sonvale.exe open, and the files could be neither
; replaced nor removed: it is asked to exit through its own menu command.
!macro CLOSE_PLAYER un
Function ${un}ClosePlayer
  StrCpy $1 0
  ${Do}
    FindWindow $0 "#32770" "${PLAYER_CAPTION}"
    ${IfThen} $0 = 0 ${|} Return ${|}
    ${If} $1 = 0
      SendMessage $0 ${WM_COMMAND} ${PLAYER_EXIT_COMMAND} 0 /TIMEOUT=5000
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 50
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Sonvale 正在运行。请退出 Sonvale（文件 → 退出）后重试。" \
          /SD IDCANCEL IDRETRY +2
      Abort
      StrCpy $1 0
    ${EndIf}
    Sleep 100
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_PLAYER ""
!insertmacro CLOSE_PLAYER "un."

; Senders reach the player on these ports; without the rules Windows
; Firewall drops them without a word. Removed by name first, so that an
; install over an earlier one does not add them twice.
!macro FIREWALL_RULES action
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="Sonvale TCP 52166"'
  Pop $0
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="Sonvale UDP 52168"'
  Pop $0
  !if "${action}" == "add"
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="Sonvale TCP 52166" dir=in action=allow program="$INSTDIR\Sonvale.exe" protocol=TCP localport=52166 profile=private enable=yes'
    Pop $0
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="Sonvale UDP 52168" dir=in action=allow program="$INSTDIR\Sonvale.exe" protocol=UDP localport=52168 profile=private enable=yes'
    Pop $0
  !endif
!macroend

Section
  Call ClosePlayer
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BIN}/Sonvale.exe"
  File "${BIN}/lame_enc.dll"
  File "${BIN}/libsoxr.dll"
  File "${BIN}/sonvale-help.html"
  File "${BIN}/licenses.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Sonvale.lnk" "$INSTDIR\Sonvale.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Sonvale"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Sonvale"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Sonvale.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  !insertmacro FIREWALL_RULES add
SectionEnd

Section "Uninstall"
  Call un.ClosePlayer
  SetShellVarContext all
  !insertmacro FIREWALL_RULES delete
  ; Autorun as the player writes it: the machine's Run key where it may open
  ; it, else the user's.
  DeleteRegValue HKLM "${RUN_KEY}" "svls"
  DeleteRegValue HKCU "${RUN_KEY}" "svls"

  Delete "$INSTDIR\Sonvale.exe"
  Delete "$INSTDIR\lame_enc.dll"
  Delete "$INSTDIR\libsoxr.dll"
  Delete "$INSTDIR\sonvale-help.html"
  Delete "$INSTDIR\licenses.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Sonvale.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The settings are the user's: kept unless asked, and kept in silent mode.
  MessageBox MB_YESNO|MB_ICONQUESTION "是否同时删除 Sonvale 的设置（$APPDATA\svl\playeroption.svp）？" \
      /SD IDNO IDNO keep_settings
  Delete "$APPDATA\svl\playeroption.svp"
  RMDir "$APPDATA\svl"
keep_settings:
SectionEnd
