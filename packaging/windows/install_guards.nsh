; The installer's guards, included by NSIS.template.in after its texts and its Fail
; macro: the folder given by /D, and programs running where files are to be replaced or
; removed.

; Refuses /D=$R0 unless it is a whole path with backslashes (X:\… or \\server\share…).
Function CheckFolder
  StrCpy $2 $R0 2 1
  StrCpy $3 $R0 2
  ${If} $2 != ":\"
  ${AndIf} $3 != "\\"
    Goto refuse
  ${EndIf}
  StrLen $4 $R0
  ${For} $1 2 $4
    StrCpy $2 $R0 1 $1
    ${If} $2 == "/"
    ${OrIf} $2 == ":"
    ${OrIf} $2 == "*"
    ${OrIf} $2 == "?"
    ${OrIf} $2 == '"'
    ${OrIf} $2 == "<"
    ${OrIf} $2 == ">"
    ${OrIf} $2 == "|"
      Goto refuse
    ${EndIf}
  ${Next}
  StrCpy $INSTDIR $R0
  Return
  refuse:
  MessageBox MB_OK|MB_ICONSTOP "$(BadDir)" /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd

; A running program keeps Windows from replacing or removing its program and DLLs, so
; nothing is changed while one of them cannot be opened for writing: in $R0 the first
; below folder $R1 that cannot, or "". The maker's DLL is not ours to replace.
!macro InUseFunctions un
  Function ${un}FindInUse
    StrCpy $R0 ""
    ${If} ${FileExists} "$R1\*.*"
      ${Locate} "$R1" "/L=F" ${un}TryWriting
    ${EndIf}
  FunctionEnd
  Function ${un}TryWriting
    StrCpy $0 ""
    StrCpy $R2 $R7 "" -4
    ${If} $R2 == ".exe"
    ${OrIf} $R2 == ".dll"
      ${If} $R9 != "$R1\${DLL}"
      ${AndIf} $R7 != "Uninstall.exe" ; runs in place when an upgrade removes it
        ClearErrors
        FileOpen $R2 $R9 a
        ${If} ${Errors}
          StrCpy $R0 $R9
          StrCpy $0 StopLocate
        ${Else}
          FileClose $R2
        ${EndIf}
      ${EndIf}
    ${EndIf}
    Push $0
  FunctionEnd
!macroend
!insertmacro InUseFunctions ""
!insertmacro InUseFunctions un.
!macro WaitUntilFree un folder
  StrCpy $R1 "${folder}"
  ${Do}
    Call ${un}FindInUse
    ${If} $R0 == ""
      ${ExitDo}
    ${EndIf}
    StrCpy $R3 ""
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(InUse)" /SD IDCANCEL IDCANCEL +2
    StrCpy $R3 retry
    ${If} $R3 != retry
      !insertmacro Fail "$(InUse)"
    ${EndIf}
  ${Loop}
!macroend

