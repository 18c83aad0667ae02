; Additions to CPack's NSIS script (cmake/Packaging.cmake defines VEXLO_*).
; Vexlo reads HKLM\SOFTWARE\Quenmar\vexlo "Ver" from the 64-bit registry view, so
; everything here, and everything CPack's script writes after it, goes to that view.
; CPack's script keeps its own values (install folder, Start-menu folder) in the same key.

!define VEXLO_VENDOR_KEY "SOFTWARE\${VEXLO_VENDOR}"
!define VEXLO_KEY "${VEXLO_VENDOR_KEY}\${VEXLO_REGISTRY_KEY}"
!define VEXLO_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${VEXLO_REGISTRY_KEY}"

; First thing in .onInit and un.onInit (cmake/Packaging.cmake puts it there). Without
; it, CPack's script falls back to a per-user install for an account that is not an
; administrator: the files go into Documents and every HKLM write fails without a word,
; so the Help page shows no version. RequestExecutionLevel admin does not prevent that:
; with UAC off a standard user's setup runs unelevated. UserInfo::GetAccountType asks
; the process token (CheckTokenMembership), so it answers for this run.
; Silent (/S): no message box, exit code 740 (ERROR_ELEVATION_REQUIRED).
!macro VexloRequireAdmin
  UserInfo::GetAccountType
  Pop $0
  StrCmp $0 "Admin" vexlo_is_admin
  MessageBox MB_OK|MB_ICONSTOP "Vexlo must be installed and removed by an administrator.$\r$\n$\r$\nNothing was changed. Right-click the setup program, choose Run as administrator, and try again." /SD IDOK
  SetErrorLevel 740
  Quit
vexlo_is_admin:
!macroend

; At the start of the install section, before any registry write.
!macro VexloPreInstall
  SetRegView 64
!macroend

; At the end of the install section.
!macro VexloInstall
  WriteRegStr HKLM "${VEXLO_KEY}" "Ver" "Vexlo ${VEXLO_VERSION}"
!macroend

; At the start of the uninstall section, before CPack's script removes its files,
; shortcuts and keys.
!macro VexloUninstall
  SetRegView 64
  ; CPack's script read this before the view was switched.
  ReadRegStr $START_MENU SHCTX "${VEXLO_UNINSTALL_KEY}" "StartMenu"
  DeleteRegKey HKLM "${VEXLO_KEY}"
  ; Another program of ours may keep its settings beside ours.
  DeleteRegKey /ifnosubkeys /ifnovalues HKLM "${VEXLO_VENDOR_KEY}"
!macroend

; In CPack's Start-menu folder ($STARTMENU_FOLDER, "Vexlo" unless changed on its page),
; beside its Uninstall shortcut.
!macro VexloCreateShortcut
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Vexlo.lnk" "$INSTDIR\vexlo.exe"
!macroend

; CPack's script runs this twice, $MUI_TEMP being the default folder (its own record of
; the chosen one is gone by then), then the folder kept in the Add/Remove entry.
!macro VexloDeleteShortcut
  Delete "$SMPROGRAMS\$MUI_TEMP\Vexlo.lnk"
!macroend
