; The installer of 岚栖自动关机助手: pw_gate.exe, GetTime.dll and pw_gate_svc.exe
; into one folder of the 32-bit Program Files, the service registered and
; started, an entry in Programs and Features, and the uninstaller.
; Built by the release (installer/Installer.cmake):
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DBIN=<shipped files> -DICON=<icon> -DOUTFILE=<setup> pw_gate.nsi
Unicode true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "岚栖自动关机助手"
!define PUBLISHER "岚栖"
; In the 32-bit view, where a 32-bit installer writes it.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\pw_gate"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\pw_gate"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "本向导将把${PRODUCT}安装到：$\r$\n$\r$\n$INSTDIR$\r$\n$\r$\n\
并安装、启动它的服务 pw_gate_svc：从此每个用户登录时它都会运行，使用者无法结束它。$\r$\n$\r$\n\
初始管理密码是 739105，安装后请在托盘图标菜单的“修改管理密码”中修改。$\r$\n$\r$\n单击“安装”开始安装。"
!define MUI_FINISHPAGE_TEXT "${PRODUCT}已经安装并运行，它的图标在任务栏的通知区域。$\r$\n$\r$\n\
双击图标设置每天允许使用的时间段；卸载请到“控制面板 → 程序和功能”。"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "© ${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT}安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "OriginalFilename" "pw_gate-${VERSION}-setup.exe"

; Said in a box (not when silent) and in the details, and the installation
; or removal stops there: the exit code is then 2.
!macro Fail TEXT
  MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
  Abort "${TEXT}"
!macroend

; Runs pw_gate_svc.exe of the folder with this command, its output in the details.
!macro ServiceCommand COMMAND FAILURE
  nsExec::ExecToLog '"$INSTDIR\pw_gate_svc.exe" ${COMMAND}'
  Pop $0
  ${If} $0 != 0
    !insertmacro Fail "${FAILURE}（pw_gate_svc.exe ${COMMAND}：$0）"
  ${EndIf}
!macroend

; Deletes the folder's file, trying again for ten seconds: a service that has
; just reported itself stopped, or a program just ended, may hold its file a
; moment longer. A file that is not there is no failure.
!macro DeleteFile NAME
  StrCpy $1 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${NAME}"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= 20
      !insertmacro Fail "无法删除 $INSTDIR\${NAME}。"
    ${EndIf}
    Sleep 500
  ${Loop}
!macroend

; The service runs the program only from a folder that no one but the
; administrators may change: without their rights there is nothing to do.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "安装或卸载${PRODUCT}需要管理员权限。$\r$\n\
请右键单击此程序，选择“以管理员身份运行”。" /SD IDOK
    SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdministrator
  ; Always this folder, whatever /D says: only here (and folders as safe) does
  ; the service start the program.
  StrCpy $INSTDIR "$PROGRAMFILES32\pw_gate"
FunctionEnd

Function un.onInit
  !insertmacro RequireAdministrator
FunctionEnd

Section
  ; An installation already there: its own service command stops the service,
  ; ends its programs and removes the registration; the new one follows. The
  ; settings (HKEY_CURRENT_CONFIG\ASTD) stay as they are.
  ${If} ${FileExists} "$INSTDIR\pw_gate_svc.exe"
    DetailPrint "正在停止已安装的版本……"
    !insertmacro ServiceCommand uninstall "无法停止已安装的版本"
  ${EndIf}
  ; Gone before the new ones come: a file still in use (a program started by
  ; hand from the folder) stops the installation here, saying which.
  !insertmacro DeleteFile pw_gate.exe
  !insertmacro DeleteFile GetTime.dll
  !insertmacro DeleteFile pw_gate_svc.exe

  SetOutPath "$INSTDIR"
  File "${BIN}/pw_gate.exe"
  File "${BIN}/GetTime.dll"
  File "${BIN}/pw_gate_svc.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The entry comes before the service, so that an installation whose service
  ; failed can be removed from Programs and Features.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pw_gate.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  DetailPrint "正在安装并启动服务 pw_gate_svc……"
  !insertmacro ServiceCommand install "无法安装或启动服务 pw_gate_svc"
SectionEnd

Section Uninstall
  ; Out of the folder, so that it can go.
  SetOutPath "$TEMP"
  ; The service stops and goes with its keys and event source, and the
  ; programs of the folder end.
  ${If} ${FileExists} "$INSTDIR\pw_gate_svc.exe"
    DetailPrint "正在停止并删除服务 pw_gate_svc……"
    !insertmacro ServiceCommand uninstall "无法停止或删除服务 pw_gate_svc"
  ${EndIf}
  !insertmacro DeleteFile pw_gate.exe
  !insertmacro DeleteFile GetTime.dll
  !insertmacro DeleteFile pw_gate_svc.exe
  !insertmacro DeleteFile uninstall.exe
  RMDir "$INSTDIR"

  ; What the program registered for itself: its Run entry (the 32-bit view,
  ; and the 64-bit one where an older build may have left one) and its log-on
  ; task, which may not be there.
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegValue HKLM "${RUN_KEY}" "pw_gate"
  ${EndIf}
  SetRegView 32
  DeleteRegValue HKLM "${RUN_KEY}" "pw_gate"
  nsExec::Exec '"$SYSDIR\schtasks.exe" /delete /tn pw_gate /f'
  Pop $0
  ; The settings stay: HKEY_CURRENT_CONFIG\ASTD and HKEY_CURRENT_USER\software\shutdown.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
