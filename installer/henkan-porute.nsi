; The installer of 変換ぽるて for 64-bit Windows. It puts what the build
; staged (the programs, the message catalogue, the licences, the readme)
; into one folder under Program Files, for all users; gives the window a
; Start-menu entry and an "Open with" entry for .V02 and .V00 files (the
; default handler only where an extension has none); and registers an
; uninstaller that takes all of it away again. /S installs and uninstalls
; without a question.
;
; MakeInstaller.cmake runs it and defines:
;   PORUTE_VERSION     the project's version (three numbers)
;   PORUTE_FILES       the staged files as NSIS macros (FileList.cmake)
;   PORUTE_LICENCE_EN  the licence page's text in English ...
;   PORUTE_LICENCE_JA  ... and in Japanese
;   PORUTE_OUTFILE     where the installer is written
;   PORUTE_ICON        the window's icon, for the installer and uninstaller
;                      (where the build has the window)

; A 64-bit installer, like the programs it carries: it needs no 32-bit layer
; (Wine's included), and it reads and writes the 64-bit registry and Program
; Files, where the 64-bit shell looks, without being told. A 32-bit Windows
; refuses to start it, as it would the programs.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include "${PORUTE_FILES}"

!define PRODUCT "変換ぽるて"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\henkan-porute"
!define WINDOW_EXE "henkan-porute.exe"
!define APPLICATION_KEY "Software\Classes\Applications\${WINDOW_EXE}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT}"
OutFile "${PORUTE_OUTFILE}"
; An ASCII folder name: typed in a console of any code page.
InstallDir "$PROGRAMFILES64\henkan-porute"
BrandingText "${PRODUCT} ${PORUTE_VERSION}"

VIProductVersion "${PORUTE_VERSION}.0"
VIFileVersion "${PORUTE_VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${PORUTE_VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${PORUTE_VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "CompanyName" "The henkan porute authors"
VIAddVersionKey /LANG=0 "LegalCopyright" "The henkan porute authors"

; The language chosen at install is kept in the uninstall entry, so that the
; uninstaller speaks it too, and goes with that entry.
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "InstallerLanguage"
!define MUI_ABORTWARNING
!ifdef PORUTE_ICON
  !define MUI_ICON "${PORUTE_ICON}"
  !define MUI_UNICON "${PORUTE_ICON}"
!endif

!insertmacro MUI_PAGE_LICENSE $(licence_text)
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; English first: the language of a Windows in neither language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_RESERVEFILE_LANGDLL

LicenseLangString licence_text ${LANG_ENGLISH} "${PORUTE_LICENCE_EN}"
LicenseLangString licence_text ${LANG_JAPANESE} "${PORUTE_LICENCE_JA}"

LangString needs_admin ${LANG_ENGLISH} "Installing ${PRODUCT} for all users needs administrator rights."
LangString needs_admin ${LANG_JAPANESE} "${PRODUCT}をすべてのユーザー向けにインストールするには、管理者の権限が必要です。"
LangString v02_type ${LANG_ENGLISH} "VD02 movie"
LangString v02_type ${LANG_JAPANESE} "VD02 動画"
LangString v00_type ${LANG_ENGLISH} "VD00 movie"
LangString v00_type ${LANG_JAPANESE} "VD00 動画"

; Registers PROGID for the extension EXT: a type named TYPE with the
; window's icon, opened by the window; listed under the extension's "Open
; with" programs, and its default only where the extension has none (or has
; ours already, from an earlier install).
!macro PoruteAssociate EXT PROGID TYPE
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "${TYPE}"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${WINDOW_EXE},0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${WINDOW_EXE}" "%1"'
  WriteRegNone HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
  ; HKCR: the user's own choice counts as a default too.
  ReadRegStr $0 HKCR "${EXT}" ""
  ${If} $0 == ""
  ${OrIf} $0 == "${PROGID}"
    WriteRegStr HKLM "Software\Classes\${EXT}" "" "${PROGID}"
  ${EndIf}
!macroend

; Undoes PoruteAssociate: the extension's default only if it is still ours,
; and the extension's keys only if nothing else is left in them.
!macro PoruteUnassociate EXT PROGID
  ReadRegStr $0 HKLM "Software\Classes\${EXT}" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue HKLM "Software\Classes\${EXT}" ""
  ${EndIf}
  DeleteRegValue HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
!macroend

Function .onInit
  ; Where the system does not raise the installer to an administrator (UAC
  ; off, or a standard user's account), it says so instead of failing at
  ; the first file.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "$(needs_admin)" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  SetShellVarContext all
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section
  ; An earlier installation is taken away first, by its own uninstaller, so
  ; that a file the new version no longer has does not stay behind. _?= runs
  ; it in place and waits for it; it cannot delete itself then.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "$R0\uninstall.exe"
    ExecWait '"$R0\uninstall.exe" /S _?=$R0'
    Delete "$R0\uninstall.exe"
    RMDir "$R0"
  ${EndIf}
  !insertmacro PoruteInstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PORUTE_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The henkan porute authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${PORUTE_STAGED_KIB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The pages keep it too, but a silent install shows none.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallerLanguage" "$LANGUAGE"

  !ifdef PORUTE_HAS_WINDOW
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${WINDOW_EXE},0"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\${WINDOW_EXE}"
    ; The window's name in the shell's "Open with" lists.
    WriteRegStr HKLM "${APPLICATION_KEY}" "FriendlyAppName" "${PRODUCT}"
    WriteRegStr HKLM "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\${WINDOW_EXE}" "%1"'
    WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" ".V02" ""
    WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" ".V00" ""
    !insertmacro PoruteAssociate ".V02" "HenkanPorute.V02" "$(v02_type)"
    !insertmacro PoruteAssociate ".V00" "HenkanPorute.V00" "$(v00_type)"
    ; SHCNE_ASSOCCHANGED: Explorer shows the new icons at once.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  !else
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
  !endif
SectionEnd

Section Uninstall
  !ifdef PORUTE_HAS_WINDOW
    Delete "${SHORTCUT}"
    !insertmacro PoruteUnassociate ".V02" "HenkanPorute.V02"
    !insertmacro PoruteUnassociate ".V00" "HenkanPorute.V00"
    DeleteRegKey HKLM "${APPLICATION_KEY}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  !endif
  !insertmacro PoruteRemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Last, and only if empty: a user's own file in the folder stays.
  RMDir "$INSTDIR"
SectionEnd
