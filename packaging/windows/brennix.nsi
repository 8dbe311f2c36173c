; Brennix's installer for Windows, made by make.sh:
;   makensis -DVERSION=3.2.6 -DSTAGE=<portable folder> -DICON=<brennix.ico> -DOUTFILE=<setup.exe>
; It installs for the current user only (no administrator's rights) into
; %LOCALAPPDATA%\Programs\Brennix, with a Start-menu entry and an uninstaller. The uninstaller
; beside brennix.exe tells the program it is installed: it then keeps its settings, saves and
; history in %LOCALAPPDATA%\Brennix, which the uninstaller leaves alone.
; A 64-bit installer for the 64-bit program (it also runs where 32-bit programs cannot).
Target amd64-unicode
SetCompressor /SOLID lzma
!include MUI2.nsh

Name "Brennix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Brennix"
RequestExecutionLevel user
ShowInstDetails show
BrandingText "Brennix ${VERSION}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brennix"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\brennix.exe"

!insertmacro MUI_PAGE_LICENSE "${STAGE}\COPYING.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Brennix"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Brennix ${VERSION} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Brennix maintainers"

Section "Brennix"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  ; The portable folder as it is, but "save": the installed program keeps its data per user.
  File /r /x save "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Brennix.lnk" "$INSTDIR\brennix.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Brennix"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Brennix maintainers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brennix.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Brennix.lnk"
  ; Only what the installer put there; the data in %LOCALAPPDATA%\Brennix stays.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\tls"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\sound"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\COPYING.txt"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
