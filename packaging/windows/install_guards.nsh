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

; A running program keeps Windows from replacing or removing it and its DLLs, so nothing
; is changed while one of the programs below folder $R1 cannot be opened for writing: in
; $R0 the first, or "". Any other file that cannot be written or removed fails the
; installation or the uninstallation at that file.
!macro TryWriting file
  ${If} $R0 == ""
  ${AndIf} ${FileExists} "${file}"
    ClearErrors
    FileOpen $R2 "${file}" a
    ${If} ${Errors}
      StrCpy $R0 "${file}"
    ${Else}
      FileClose $R2
    ${EndIf}
  ${EndIf}
!macroend
!macro InUseFunction un
  Function ${un}FindInUse
    StrCpy $R0 ""
    !insertmacro TryWriting "$R1\ox_krv5316.exe"
    !insertmacro TryWriting "$R1\krv5316-check.exe"
    !if "${TRAINING}" != ""
      !insertmacro TryWriting "$R1\${TRAINING}\ox_krv5316.exe"
    !endif
  FunctionEnd
!macroend
!insertmacro InUseFunction ""
!insertmacro InUseFunction un.
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

