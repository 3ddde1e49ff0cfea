; The Windows setup program Tovali3-<version>-setup.exe, made by
; scripts/windows-installer.sh with makensis:
;
;   makensis -DVERSION=3.0.0 -DFILES=files.nsh -DOUTFILE=setup.exe -DICON=tovali3.ico tovali3.nsi
;
; FILES is generated from the staged program folder: it defines the macros
; InstallFiles and UninstallFiles, which name every file and folder one by
; one, so that the uninstaller removes exactly what was installed.
;
; Without administrator rights it installs for the current user into
; %LOCALAPPDATA%\Programs\Tovali3 and writes under HKCU; run elevated, it
; installs for every user into Program Files and writes under HKLM. Both
; setup and uninstaller run silently with /S. The user's settings
; (%APPDATA%\Quorbel\Tovali3\config.ini) stay unless the uninstaller is told
; to remove them, so an upgrade keeps them.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS Win10

!ifndef VERSION
  !error "makensis -DVERSION=x.y.z is required"
!endif
!ifndef FILES
  !error "makensis -DFILES=<generated file list> is required"
!endif
!ifndef OUTFILE
  !define OUTFILE "Tovali3-${VERSION}-setup.exe"
!endif

!define PRODUCT "Tovali 3"
!define PUBLISHER "Quorbel"
!define EXE "tovali3.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tovali3"
!define APP_KEY "Software\Classes\Applications\${EXE}"
!define PROGID_PREFIX "Quorbel.Tovali3"
!define INSTANCE_MUTEX "QUORBEL_TOVALI3"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"
!include "${FILES}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "© ${PUBLISHER}"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "${PRODUCT} を起動する"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

Var PerMachine

!macro UseScope MACHINE
  StrCpy $PerMachine ${MACHINE}
  ${If} $PerMachine == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

; Per-machine when the setup runs with an administrator's token (started
; elevated), per-user otherwise; /CurrentUser and /AllUsers choose without
; asking. The registry root SHCTX and the shell folders follow the scope.
Function ChooseScope
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    !insertmacro UseScope 0
    Return
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${If} ${Errors}
  ${AndIf} $0 != "Admin"
    !insertmacro UseScope 0
  ${ElseIf} $0 == "Admin"
    !insertmacro UseScope 1
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "すべてのユーザー向けのインストールには管理者権限が必要です。" /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
FunctionEnd

; The uninstaller removes the installation it belongs to: per-machine when
; the machine's uninstall entry names its folder.
Function un.ChooseScope
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    !insertmacro UseScope 1
  ${Else}
    !insertmacro UseScope 0
  ${EndIf}
FunctionEnd

; Files of a running program cannot be replaced or removed: ask the user to
; close it (a silent run gives up with exit code 2).
!macro WaitUntilClosed un
  Function ${un}WaitUntilClosed
    retry:
      System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .r0'
      ${If} $0 != 0
        System::Call 'kernel32::CloseHandle(p r0)'
        IfSilent 0 +3
          SetErrorLevel 2
          Quit
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
          "${PRODUCT} が起動しています。終了してから「再試行」を押してください。" IDRETRY retry
        Quit
      ${EndIf}
  FunctionEnd
!macroend
!insertmacro WaitUntilClosed ""
!insertmacro WaitUntilClosed "un."

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} は 64 ビット版の Windows で動作します。" /SD IDOK
    SetErrorLevel 1
    Quit
  ${EndIf}
  Call ChooseScope
  ; An installed copy in this scope is upgraded where it is.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${ElseIf} $PerMachine == 1
    StrCpy $INSTDIR "$PROGRAMFILES64\Tovali3"
  ${Else}
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Tovali3"
  ${EndIf}
  Call WaitUntilClosed
FunctionEnd

; An older version in the same folder is removed first by its own
; uninstaller, silently: it removes the files it listed and keeps the
; settings. Files this version no longer has thus do not linger.
Function RemovePreviousVersion
  ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    Return
  ${EndIf}
  DetailPrint "以前のバージョンを削除しています"
  ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR' $0
  Delete "$INSTDIR\${UNINSTALLER}"
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call RemovePreviousVersion
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
    SW_SHOWNORMAL "" "画像を一括で縮小・変換します"

  Call RegisterOpenWith

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "デスクトップにショートカットを作成する" SecDesktop
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
SectionEnd

; "Open with": the program is offered for these types, never made their
; default. Applications\tovali3.exe names the types it opens; each type also
; lists an own ProgID under OpenWithProgids.
!macro ForEachPictureType MACRO
  !insertmacro ${MACRO} jpg
  !insertmacro ${MACRO} jpeg
  !insertmacro ${MACRO} png
  !insertmacro ${MACRO} gif
  !insertmacro ${MACRO} bmp
  !insertmacro ${MACRO} heic
  !insertmacro ${MACRO} heif
  !insertmacro ${MACRO} avif
  !insertmacro ${MACRO} webp
!macroend

!macro RegisterType EXT
  WriteRegStr SHCTX "${APP_KEY}\SupportedTypes" ".${EXT}" ""
  WriteRegStr SHCTX "Software\Classes\${PROGID_PREFIX}.${EXT}" "" "${PRODUCT}"
  WriteRegStr SHCTX "Software\Classes\${PROGID_PREFIX}.${EXT}\DefaultIcon" "" '"$INSTDIR\${EXE}",0'
  WriteRegStr SHCTX "Software\Classes\${PROGID_PREFIX}.${EXT}\shell\open\command" "" \
    '"$INSTDIR\${EXE}" "%1"'
  WriteRegNone SHCTX "Software\Classes\.${EXT}\OpenWithProgids" "${PROGID_PREFIX}.${EXT}"
!macroend

!macro UnregisterType EXT
  DeleteRegKey SHCTX "Software\Classes\${PROGID_PREFIX}.${EXT}"
  DeleteRegValue SHCTX "Software\Classes\.${EXT}\OpenWithProgids" "${PROGID_PREFIX}.${EXT}"
  ; The type's keys go only when nothing else is left in them.
  DeleteRegKey /ifempty SHCTX "Software\Classes\.${EXT}\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.${EXT}"
!macroend

Function RegisterOpenWith
  WriteRegStr SHCTX "${APP_KEY}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr SHCTX "${APP_KEY}\DefaultIcon" "" '"$INSTDIR\${EXE}",0'
  WriteRegStr SHCTX "${APP_KEY}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
  !insertmacro ForEachPictureType RegisterType
  ; Explorer rereads the associations.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
FunctionEnd

Function un.UnregisterOpenWith
  DeleteRegKey SHCTX "${APP_KEY}"
  !insertmacro ForEachPictureType UnregisterType
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
FunctionEnd

; ---- Uninstaller -----------------------------------------------------------

Section "un.${PRODUCT}" SecUnProgram
  SectionIn RO
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  Call un.UnregisterOpenWith
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  !insertmacro UninstallFiles
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd

; The settings belong to the user who runs the uninstaller, also when it
; runs elevated.
Section /o "un.設定ファイル（config.ini）も削除する" SecUnSettings
  SetShellVarContext current
  Delete "$APPDATA\Quorbel\Tovali3\config.ini"
  RMDir "$APPDATA\Quorbel\Tovali3"
  RMDir "$APPDATA\Quorbel"
  ${If} $PerMachine == 1
    SetShellVarContext all
  ${EndIf}
SectionEnd

; /RemoveSettings ticks the removal of the settings (for silent runs).
Function un.onInit
  Call un.ChooseScope
  Call un.WaitUntilClosed
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/RemoveSettings" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecUnSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
