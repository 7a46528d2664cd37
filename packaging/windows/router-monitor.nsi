; The Windows installer: one user's copy of the monitor in
; %LOCALAPPDATA%\Programs\router-monitor, with no administrator rights, a
; Start-menu shortcut, an optional shortcut in the Startup folder and an
; uninstaller listed under "Apps & features" for this user.
;
; Built by cmake/WindowsInstaller.cmake, which defines VERSION, STAGE (the
; folder the zip is packed from), ICON, LICENSE (the licence with its
; paragraphs unwrapped, for the licence page), COPYRIGHT and OUTFILE.
;
; Switches beside NSIS's own /S and /D=folder:
;   /STARTUP   start the monitor at logon (ticks the box; the way to ask for it with /S)
; Exit status: 0 done, 1 cancelled, 2 stopped (a running monitor that would not close).

; A 64-bit installer for a 64-bit program (Debian's wine64 starts no other); it must come first.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define APP_NAME "路由器使用监视器"
!define PUBLISHER "Router Usage Monitor"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\router-monitor"
!define LINK "${APP_NAME}.lnk"
; The monitor's top-level window class: one per running monitor.
!define FORM_CLASS "RouterMonitorForm1"

Name "$(AppName)"
OutFile "${OUTFILE}"
; The user's own folder, which nobody else may write: the settings stay beside
; the program. An earlier install's folder is offered again; /D= overrides both.
InstallDir "$LOCALAPPDATA\Programs\router-monitor"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "$(AppName) ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\router-monitor.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
Page custom StartupPage StartupPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for systems whose language is neither; NSIS
; gives every Chinese system (zh-CN, zh-TW, zh-HK…) the Simplified Chinese pages.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

; Readers of the English pages get the English name; the shortcuts and the
; "Apps & features" entry keep the program's own.
LangString AppName ${LANG_ENGLISH} "Router Usage Monitor"
LangString AppName ${LANG_SIMPCHINESE} "${APP_NAME}"
LangString StartupTitle ${LANG_ENGLISH} "Startup"
LangString StartupTitle ${LANG_SIMPCHINESE} "启动"
LangString StartupText ${LANG_ENGLISH} "The monitor only watches the network while it runs."
LangString StartupText ${LANG_SIMPCHINESE} "监视器只在运行时监视网络。"
LangString StartupBoxText ${LANG_ENGLISH} "Start Router Usage Monitor when I sign in"
LangString StartupBoxText ${LANG_SIMPCHINESE} "登录时启动路由器使用监视器"
LangString MonitorRunning ${LANG_ENGLISH} "Router Usage Monitor is running (perhaps minimised to the notification area). Close it, then choose Retry."
LangString MonitorRunning ${LANG_SIMPCHINESE} "路由器使用监视器正在运行（可能已最小化到通知区域）。请关闭它，然后点“重试”。"
LangString DeleteSettings ${LANG_ENGLISH} "Also delete your settings (savedata*.ini in $INSTDIR)?"
LangString DeleteSettings ${LANG_SIMPCHINESE} "是否同时删除您的设置（$INSTDIR 中的 savedata*.ini）？"

VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${APP_NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "OriginalFilename" "router-monitor-${VERSION}-setup.exe"

Var Startup       ; 1: a shortcut in the Startup folder
Var StartupBox

; Files in use cannot be replaced or deleted: a running monitor is closed
; first. Interactively the user closes it (the window may hold unsaved edits);
; silently it is asked to close, as logging off would, and given ten seconds
; to end; a window that stays stops the install.
!macro CLOSE_RUNNING_MONITOR un
Function ${un}CloseRunningMonitor
  StrCpy $3 0 ; the window last asked to close
  ${Do}
    FindWindow $0 "${FORM_CLASS}" ""
    ${If} $0 = 0
      Return
    ${EndIf}
    ${If} $0 = $3
      SetErrorLevel 2
      Quit
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1)"
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2" ; SYNCHRONIZE
    ${If} ${Silent}
      System::Call "user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)"
      StrCpy $3 $0
    ${Else}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(MonitorRunning)" IDRETRY +3
        SetErrorLevel 1
        Quit
    ${EndIf}
    ; Its files are free only once the process has ended; the user may also
    ; have chosen Retry with the window still open.
    ${If} $2 P<> 0
      StrCpy $1 10000
      ${IfNot} ${Silent}
        IsWindow $0 0 +2
          StrCpy $1 0
      ${EndIf}
      System::Call "kernel32::WaitForSingleObject(p r2, i r1)"
      System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_MONITOR ""
!insertmacro CLOSE_RUNNING_MONITOR "un."

Function .onInit
  ; Off on a first install; an upgrade keeps what the user chose before.
  StrCpy $Startup 0
  ${If} ${FileExists} "$SMSTARTUP\${LINK}"
    StrCpy $Startup 1
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/STARTUP" $1
  ${IfNot} ${Errors}
    StrCpy $Startup 1
  ${EndIf}
FunctionEnd

Function StartupPage
  !insertmacro MUI_HEADER_TEXT "$(StartupTitle)" "$(StartupText)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "$(StartupBoxText)"
  Pop $StartupBox
  ${If} $Startup = 1
    ${NSD_Check} $StartupBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function StartupPageLeave
  ${NSD_GetState} $StartupBox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $Startup 1
  ${Else}
    StrCpy $Startup 0
  ${EndIf}
FunctionEnd

Section
  Call CloseRunningMonitor
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${STAGE}/router-monitor.exe"
  File "${STAGE}/router-monitor-scan.exe"
  File "${STAGE}/警告.wav"
  File "${STAGE}/安全.wav"
  File "${STAGE}/LICENSE.txt"
  ; The shipped defaults only where the user has no settings file yet: an
  ; upgrade keeps what the user saved.
  SetOverwrite off
  File "${STAGE}/savedata*.ini"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${LINK}" "$INSTDIR\router-monitor.exe" "" "$INSTDIR\router-monitor.exe" 0
  ${If} $Startup = 1
    CreateShortCut "$SMSTARTUP\${LINK}" "$INSTDIR\router-monitor.exe" "" "$INSTDIR\router-monitor.exe" 0
  ${Else}
    Delete "$SMSTARTUP\${LINK}"
  ${EndIf}

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\router-monitor.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there: the folder may be one the user chose and
; share with files of their own.
Section Uninstall
  Call un.CloseRunningMonitor
  Delete "$INSTDIR\router-monitor.exe"
  Delete "$INSTDIR\router-monitor-scan.exe"
  Delete "$INSTDIR\警告.wav"
  Delete "$INSTDIR\安全.wav"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$SMPROGRAMS\${LINK}"
  Delete "$SMSTARTUP\${LINK}"
  DeleteRegKey HKCU "${UNINST_KEY}"

  ; The settings are the user's: kept unless the user says otherwise, and
  ; always kept by a silent uninstall.
  ${If} ${FileExists} "$INSTDIR\savedata*.ini"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(DeleteSettings)" /SD IDNO IDNO settings_kept
    ${For} $0 1 19
      ${If} $0 < 6
      ${OrIf} $0 > 9
        Delete "$INSTDIR\savedata$0.ini"
      ${EndIf}
    ${Next}
    ; A save cut short (power loss) leaves its new copies behind.
    Delete "$INSTDIR\savedata*.ini.new-*"
    settings_kept:
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
