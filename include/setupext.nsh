; setupext.nsh - calling setupext.dll from an NSIS 3 installer (3.0 or later): x86-unicode
; and x86-ansi installers pack the x86 setupext.dll, amd64-unicode ones x64\setupext.dll.
;
;   !define SETUPEXT_DIR "path\to\package"        ; optional: the folder holding setupext.dll
;                                                  ; and x64\setupext.dll (default: your
;                                                  ; script's folder)
;   !define SETUPEXT_DLL "path\to\setupext.dll"   ; or the one DLL for this installer's target
;   !include "setupext.nsh"
;
;   ${SetupExt_Begin}                          extracts the DLL to $PLUGINSDIR, makes an empty table
;   ${SetupExt_Set} TEMPLPATH "$INSTDIR\Templates"
;   ${SetupExt_Set} LANG "Francais"
;   ${SetupExt_Call} fctLocaliseTemplate $0    $0 = 1 or 0 ("error" and the error flag: no DLL)
;   ${SetupExt_Get} LIBNUMAVAIL $1             $1 = the value, "" when absent
;   ${SetupExt_End}                            frees the table and unloads the DLL
;
;   ${SetupExt_RemoveLeftovers} DIR            for uninstallers, ${SetupExt_RepairPages} DIR
;                                              for repairs: no DLL needed (see at the end)
;
; Between Begin and End the table lives on: set, call and get as often as needed, in any
; order; End before the installer ends, so that $PLUGINSDIR can be removed. Every macro keeps
; the registers and the stack as they were, apart from its output variable.
;
; The error flag (IfErrors, ${If} ${Errors}) tells what went wrong; the macros set it and
; never clear it, so ClearErrors before a group of them and test it after:
; - SetupExt_Set sets it when the value does not come back from the table as it was given:
;   a character the system's ANSI code page cannot write (the table holds ANSI text, also in a
;   Unicode installer), or more than 1023 bytes. The variable is then left empty, which every
;   operation reads as absent: a folder the DLL cannot name is never replaced by another one.
;   It also sets it when the table has no room for another variable (16 slots, one of them
;   always kept free for LIBNUMAVAIL).
; - SetupExt_Get sets it when the table holds no such variable: IsLibInstalled writes
;   LIBNUMAVAIL only when it answers 0.
; - SetupExt_Call sets it when its answer is "error": the DLL could not be loaded or does not
;   export the operation.
;
; SetupExt_Call takes the operation's name as the DLL exports it, with case; any other name
; stops the build with an error that names the four and the nearest by its words (so the
; natural "fctRenLabelInTemplatePages" never builds into an installer that localises nothing).
;
; Names are case-sensitive and at most 29 characters: "templpath" is not TEMPLPATH.
;
; What the operations read and write:
;   fctLocaliseTemplate         TEMPLPATH, LANG                        answers 1
;   fctRenLabelInTemplagePages  MAINDIR, LANG                          answers 1
;   IsLibInstalled              LIBNAME, INIREG2; writes LIBNUMAVAIL   answers 1 if listed
;   IsVBNETAppRunning           WINDOWTEXT                             answers 1 if running
;
; Reports of the template operations, for the script that asks for them:
; - When the table holds a non-empty SETUPEXTLOG, the template operations append to that file
;   a block: a heading with the DLL's version and the local date and time, then one line for
;   each entry that is not simply left French or not a page, in the words of
;   `setupext-call --report`, and a summary line; a log that cannot be written is skipped and
;   never changes what the call does or answers.
; - When the table already holds PAGESLOCALISED or PAGESLEFT (the script created them), the
;   template operations write the number of pages localised and the number left English there;
;   a variable the script did not create is never added. So create them first, then read them:
;       ${SetupExt_Set} PAGESLOCALISED ""
;       ${SetupExt_Set} PAGESLEFT ""
;       ${SetupExt_Call} fctLocaliseTemplate $0
;       ${SetupExt_Get} PAGESLEFT $1
;
; The table: six 32-bit words (two of the host's, capacity, name width, value width, count),
; the names area's address and the values area's address (4 bytes each in an x86 installer,
; 8 in an amd64 one), then the names area (slot i holds "%NAME%" and a NUL) and the values
; area (slot i holds the value, ANSI text, and a NUL). Its text is written and read with the
; System plug-in's m and &mN types only: t and &tN would be UTF-16 in a Unicode installer.

!ifndef SETUPEXT_NSH_INCLUDED
!define SETUPEXT_NSH_INCLUDED

!if ${NSIS_PACKEDVERSION} < 0x03000000
  !error "setupext.nsh needs NSIS 3.0 or later"
!endif

!include LogicLib.nsh

; The DLL of the installer's own target: a 64-bit installer can load only a 64-bit DLL.
!ifndef SETUPEXT_DLL
  !ifndef SETUPEXT_DIR
    !define SETUPEXT_DIR "."
  !endif
  !if ${NSIS_PTR_SIZE} > 4
    !define SETUPEXT_DLL "${SETUPEXT_DIR}\x64\setupext.dll"
  !else
    !define SETUPEXT_DLL "${SETUPEXT_DIR}\setupext.dll"
  !endif
!endif

!define _SETUPEXT_CAPACITY 16
!define _SETUPEXT_ROOM 15           ; variables the script may add: one slot stays free
!define _SETUPEXT_NAME_WIDTH 32     ; "%NAME%" and its NUL
!define _SETUPEXT_VALUE_WIDTH 1024  ; what &mN copies at most, NUL included
!define /math _SETUPEXT_NAMES_BYTES ${_SETUPEXT_CAPACITY} * ${_SETUPEXT_NAME_WIDTH}
!define /math _SETUPEXT_VALUES_BYTES ${_SETUPEXT_CAPACITY} * ${_SETUPEXT_VALUE_WIDTH}
!define /math _SETUPEXT_ADDRESSES ${NSIS_PTR_SIZE} * 2
!define /math _SETUPEXT_NAMES_AT ${_SETUPEXT_ADDRESSES} + 24   ; after six words, two addresses
!define /math _SETUPEXT_VALUES_AT ${_SETUPEXT_NAMES_BYTES} + ${_SETUPEXT_NAMES_AT}
!define /math _SETUPEXT_TABLE_BYTES ${_SETUPEXT_VALUES_AT} + ${_SETUPEXT_VALUES_BYTES}

Var SetupExtTable   ; the table's address, 0 outside Begin .. End

!define SetupExt_Begin "!insertmacro SetupExt_Begin"
!define SetupExt_Set "!insertmacro SetupExt_Set"
!define SetupExt_Get "!insertmacro SetupExt_Get"
!define SetupExt_Call "!insertmacro SetupExt_Call"
!define SetupExt_End "!insertmacro SetupExt_End"
!define SetupExt_RemoveLeftovers "!insertmacro SetupExt_RemoveLeftovers"
!define SetupExt_RepairPages "!insertmacro SetupExt_RepairPages"

!macro SetupExt_Begin
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\setupext.dll"
    File "/oname=$PLUGINSDIR\setupext.dll" "${SETUPEXT_DLL}"
  ${EndIf}
  Push $R0
  Push $R1
  System::Alloc ${_SETUPEXT_TABLE_BYTES}
  Pop $SetupExtTable
  IntPtrOp $R0 $SetupExtTable + ${_SETUPEXT_NAMES_AT}
  IntPtrOp $R1 $SetupExtTable + ${_SETUPEXT_VALUES_AT}
  ; host word 1, host word 2, capacity, name width, value width, count, names, values
  System::Call "*$SetupExtTable(i 0, i 0, i ${_SETUPEXT_CAPACITY}, i ${_SETUPEXT_NAME_WIDTH}, i ${_SETUPEXT_VALUE_WIDTH}, i 0, p R0, p R1)"
  Pop $R1
  Pop $R0
!macroend

; $R0 holds "%NAME%". Gives $R2 = its slot (the first with that name, as the DLL reads it)
; or -1, and $R3 = count. Uses $R4 and $R5.
!macro _SetupExt_Find
  IntPtrOp $R4 $SetupExtTable + 20
  System::Call "*$R4(i .R3)"
  StrCpy $R2 0
  ${Do}
    ${If} $R2 >= $R3
      StrCpy $R2 -1
      ${Break}
    ${EndIf}
    IntOp $R4 $R2 * ${_SETUPEXT_NAME_WIDTH}
    IntPtrOp $R4 $R4 + $SetupExtTable
    IntPtrOp $R4 $R4 + ${_SETUPEXT_NAMES_AT}
    System::Call "*$R4(&m${_SETUPEXT_NAME_WIDTH} .R5)"
    ${If} $R5 S== $R0
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
!macroend

; $R2 = a slot: $R4 = the address of its value.
!macro _SetupExt_ValueAt
  IntOp $R4 $R2 * ${_SETUPEXT_VALUE_WIDTH}
  IntPtrOp $R4 $R4 + $SetupExtTable
  IntPtrOp $R4 $R4 + ${_SETUPEXT_VALUES_AT}
!macroend

!macro SetupExt_Set NAME VALUE
  Push `${VALUE}`
  Push `${NAME}`
  Exch $R0
  Exch
  Exch $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R0 "%$R0%"
  !insertmacro _SetupExt_Find
  ${If} $R2 < 0
  ${AndIf} $R3 < ${_SETUPEXT_ROOM}
    StrCpy $R2 $R3
    IntOp $R4 $R2 * ${_SETUPEXT_NAME_WIDTH}
    IntPtrOp $R4 $R4 + $SetupExtTable
    IntPtrOp $R4 $R4 + ${_SETUPEXT_NAMES_AT}
    System::Call "*$R4(&m${_SETUPEXT_NAME_WIDTH} R0)"
    IntOp $R3 $R3 + 1
    IntPtrOp $R4 $SetupExtTable + 20
    System::Call "*$R4(i R3)"
  ${EndIf}
  ${If} $R2 < 0
    SetErrors
  ${Else}
    !insertmacro _SetupExt_ValueAt
    System::Call "*$R4(&m${_SETUPEXT_VALUE_WIDTH} R1)"
    System::Call "*$R4(&m${_SETUPEXT_VALUE_WIDTH} .R5)"
    ${If} $R5 S!= $R1
      StrCpy $R5 ""
      System::Call "*$R4(&m${_SETUPEXT_VALUE_WIDTH} R5)"
      SetErrors
    ${EndIf}
  ${EndIf}
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
!macroend

!macro SetupExt_Get NAME OUT
  Push `${NAME}`
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R0 "%$R0%"
  !insertmacro _SetupExt_Find
  StrCpy $R1 ""
  ${If} $R2 < 0
    SetErrors
  ${Else}
    !insertmacro _SetupExt_ValueAt
    System::Call "*$R4(&m${_SETUPEXT_VALUE_WIDTH} .R1)"
  ${EndIf}
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Exch $R1
  Exch
  Pop $R0
  Pop ${OUT}
!macroend

; Stops the build unless OPERATION is one of the four, spelled as the DLL exports them.
!macro _SetupExt_Known OPERATION
  !if "${OPERATION}" S== "fctLocaliseTemplate"
  !else if "${OPERATION}" S== "fctRenLabelInTemplagePages"
  !else if "${OPERATION}" S== "IsLibInstalled"
  !else if "${OPERATION}" S== "IsVBNETAppRunning"
  !else
    ; The nearest: the first operation one of whose words the name holds, in any case.
    !insertmacro _SetupExt_Nearest "${OPERATION}" Label fctRenLabelInTemplagePages
    !insertmacro _SetupExt_Nearest "${OPERATION}" Ren fctRenLabelInTemplagePages
    !insertmacro _SetupExt_Nearest "${OPERATION}" Pages fctRenLabelInTemplagePages
    !insertmacro _SetupExt_Nearest "${OPERATION}" Locali fctLocaliseTemplate
    !insertmacro _SetupExt_Nearest "${OPERATION}" Templ fctLocaliseTemplate
    !insertmacro _SetupExt_Nearest "${OPERATION}" Lib IsLibInstalled
    !insertmacro _SetupExt_Nearest "${OPERATION}" Install IsLibInstalled
    !insertmacro _SetupExt_Nearest "${OPERATION}" VB IsVBNETAppRunning
    !insertmacro _SetupExt_Nearest "${OPERATION}" NET IsVBNETAppRunning
    !insertmacro _SetupExt_Nearest "${OPERATION}" Run IsVBNETAppRunning
    !ifndef _SETUPEXT_NEAREST
      !define _SETUPEXT_NEAREST ""
    !endif
    !error "setupext.nsh: setupext.dll has no operation ${OPERATION}${_SETUPEXT_NEAREST}; it has fctLocaliseTemplate, fctRenLabelInTemplagePages (spelled so), IsLibInstalled and IsVBNETAppRunning"
  !endif
!macroend

!macro _SetupExt_Nearest NAME WORD OPERATION
  !ifndef _SETUPEXT_NEAREST
    !searchreplace /ignorecase _SETUPEXT_WITHOUT "${NAME}" "${WORD}" ""
    !if "${_SETUPEXT_WITHOUT}" S!= "${NAME}"
      !define _SETUPEXT_NEAREST " (did you mean ${OPERATION}?)"
    !endif
    !undef _SETUPEXT_WITHOUT
  !endif
!macroend

; OUT gets the answer, 1 or 0, read as one byte (only the low byte of the return value
; counts), or "error", with the error flag set, when the DLL cannot be loaded. The DLL is
; called by its full path: NSIS 3 looks for a DLL named in System::Call only in the system
; folders. System::Call is __stdcall on x86 by default, as the DLL needs.
!macro SetupExt_Call OPERATION OUT
  !insertmacro _SetupExt_Known "${OPERATION}"
  Push $0
  System::Call '"$PLUGINSDIR\setupext.dll"::${OPERATION}(p $SetupExtTable) b .r0'
  ${If} $0 == "error"
    SetErrors
  ${EndIf}
  Exch $0
  Pop ${OUT}
!macroend

!macro SetupExt_End
  Push $R0
  Push $R1
  System::Free $SetupExtTable
  StrCpy $SetupExtTable 0
  ; System::Call leaves the DLL loaded: unload it (a path, not table text, so t is right).
  StrCpy $R1 0
  ${Do}
    System::Call 'kernel32::GetModuleHandle(t "$PLUGINSDIR\setupext.dll") p .R0'
    ${If} $R0 P= 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::FreeLibrary(p R0)'
    IntOp $R1 $R1 + 1
  ${LoopUntil} $R1 >= 16   ; a bound, should anything hold the DLL loaded
  Pop $R1
  Pop $R0
!macroend

; The template tree in uninstallers and repairs: no table and no DLL needed (in Begin .. End
; or outside it). Both walk DIR and every folder below it, never entering a folder link or
; junction, and keep the registers, the stack and the error flag as they were.
;
; ${SetupExt_RemoveLeftovers} DIR
;   Deletes what a call cut short may have left beside the pages: *.setupext-new,
;   *.pag.setupext-old and ~*.setupext-name-*. In an uninstaller, before the pages (by their
;   French names: x.page ends as x.pag) and RMDir of the folders.
;
; ${SetupExt_RepairPages} DIR
;   For pages shipped under a name whose last extension is longer than .pag (x.page): once
;   File has written them again (a repair, a reinstall) and before the template call, deletes
;   each French x.pag beside an English x.page, which the call then localises again (it would
;   otherwise stay English: "final name held"). Only where no page ships under the .pag name
;   that another page's French version takes.
!macro SetupExt_RemoveLeftovers DIR
  !insertmacro _SetupExt_EachFolder `${DIR}` _SetupExt_LeftoversIn
!macroend

!macro SetupExt_RepairPages DIR
  !insertmacro _SetupExt_EachFolder `${DIR}` _SetupExt_RepairIn
!macroend

!macro _SetupExt_LeftoversIn
  Delete "$R0\*.setupext-new"
  Delete "$R0\*.pag.setupext-old"
  Delete "$R0\~*.setupext-name-*"
!macroend

; A plain file whose last extension begins with .pag (with case) but is not .pag alone, and
; whose French name is held by a file: that file goes.
!macro _SetupExt_RepairIn
  FindFirst $R3 $R4 "$R0\*.pag?*"
  ${DoWhile} $R4 != ""
    System::Call 'kernel32::GetFileAttributes(t "$R0\$R4") i .R5'
    IntOp $R5 $R5 & 0x410   ; a folder or a link (or no such file: -1)
    ${If} $R5 = 0
      StrLen $R5 $R4
      ${Do}
        IntOp $R5 $R5 - 1
        StrCpy $R6 $R4 1 $R5
      ${LoopUntil} $R6 == "."
      StrCpy $R6 $R4 4 $R5
      ${If} $R6 S== ".pag"
        StrCpy $R6 $R4 "" $R5
        ${If} $R6 S!= ".pag"
          StrCpy $R6 $R4 $R5
          System::Call 'kernel32::GetFileAttributes(t "$R0\$R6.pag") i .R5'
          IntOp $R5 $R5 & 0x10
          ${IfThen} $R5 = 0 ${|} Delete "$R0\$R6.pag" ${|}
        ${EndIf}
      ${EndIf}
    ${EndIf}
    FindNext $R3 $R4
  ${Loop}
  FindClose $R3
!macroend

; Inserts the macro ACTION once for DIR and once for each folder below it, with the folder's
; path in $R0. ACTION may use $R3 to $R6. The folders still to visit wait on the stack above
; a "|", which no path holds.
!macro _SetupExt_EachFolder DIR ACTION
  Push `${DIR}`
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  StrCpy $R1 ""
  IfErrors 0 +2
    StrCpy $R1 errors
  Push $R1
  Push "|"
  ${IfThen} $R0 != "" ${|} Push $R0 ${|}   ; an empty DIR names no folder, not the drive's root
  ${Do}
    Pop $R0
    ${IfThen} $R0 == "|" ${|} ${ExitDo} ${|}
    !insertmacro ${ACTION}
    FindFirst $R1 $R2 "$R0\*"
    ${DoWhile} $R2 != ""
      ${If} $R2 != "."
      ${AndIf} $R2 != ".."
        System::Call 'kernel32::GetFileAttributes(t "$R0\$R2") i .R3'
        IntOp $R3 $R3 & 0x410   ; a folder (0x10) and no link or junction (0x400)
        ${IfThen} $R3 = 0x10 ${|} Push "$R0\$R2" ${|}
      ${EndIf}
      FindNext $R1 $R2
    ${Loop}
    FindClose $R1
  ${Loop}
  Pop $R1
  ClearErrors
  ${IfThen} $R1 != "" ${|} SetErrors ${|}
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
!macroend

!endif ; SETUPEXT_NSH_INCLUDED
