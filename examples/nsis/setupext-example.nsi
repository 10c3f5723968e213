; An NSIS 3 installer that calls the four operations of setupext.dll through the System
; plug-in and writes their answers to answers.txt beside itself.
;
;   makensis setupext-example.nsi            (in the unpacked package: the DLL is ..\..\)
;   makensis -DSETUPEXT_DLL=path\to\setupext.dll setupext-example.nsi
;
; Run (silently: it shows nothing), it works on two folders beside itself:
;   templates\                 localised by fctLocaliseTemplate (TEMPLPATH)
;   app\Material\Template\     localised by fctRenLabelInTemplagePages (MAINDIR = app)
;
; What matters when calling setupext.dll from NSIS:
; - NSIS 3 looks for a DLL named in System::Call only in the system folders: extract it to
;   $PLUGINSDIR and call it by its quoted full path, "$PLUGINSDIR\setupext.dll"::Operation.
; - Every operation takes the table's address (p) and answers one byte: read it as b, since
;   only the low byte counts. System::Call uses __stdcall on x86 by default, as it must.
; - The table's text is ANSI: write and read it with m and &mN types, never t or &tN (this
;   installer is Unicode, where t would be UTF-16). &mN copies at most 1024 bytes.
; - IsLibInstalled writes LIBNUMAVAIL into slot `count` when the table has no such variable:
;   leave a free slot, or the answer is dropped.

Unicode true
Name "setupext example"
!ifdef OUTFILE
  OutFile "${OUTFILE}"
!else
  OutFile "setupext-example.exe"
!endif
!ifndef SETUPEXT_DLL
  !define SETUPEXT_DLL "../../setupext.dll"   ; where the package has it, from this folder
!endif
RequestExecutionLevel user
SilentInstall silent

; The table: 32 bytes of header (eight 32-bit words), the names area, the values area.
!define CAPACITY 8           ; six variables of ours, LIBNUMAVAIL, one spare
!define NAME_WIDTH 32        ; "%NAME%" and its NUL
!define VALUE_WIDTH 1024     ; what &mN copies at most
!define /math NAMES_BYTES ${CAPACITY} * ${NAME_WIDTH}
!define /math VALUES_BYTES ${CAPACITY} * ${VALUE_WIDTH}
!define /math AREA_BYTES ${NAMES_BYTES} + ${VALUES_BYTES}
!define /math TABLE_BYTES ${AREA_BYTES} + 32

Var Table    ; the table's address
Var Names    ; the names area: slot i at Names + i * NAME_WIDTH
Var Values   ; the values area: slot i at Values + i * VALUE_WIDTH
Var Count    ; the address of the count word (offset 20)

!macro TableAdd NAME VALUE
  Push `${VALUE}`
  Push `${NAME}`
  Call TableAdd
!macroend

!macro TableGet NAME OUT
  Push `${NAME}`
  Call TableGet
  Pop ${OUT}
!macroend

; OPERATION answers into OUT: 1 or 0 (or "error" when the DLL or the name is not found).
; OPTIONS: "" or "?u" to unload the DLL after the call.
!macro CallOperation OPERATION OUT OPTIONS
  System::Call '"$PLUGINSDIR\setupext.dll"::${OPERATION}(p $Table) b .r0 ${OPTIONS}'
  StrCpy ${OUT} $0
!macroend

; A zeroed table with no live variable.
Function TableNew
  System::Alloc ${TABLE_BYTES}
  Pop $Table
  IntOp $Names $Table + 32
  IntOp $Values $Names + ${NAMES_BYTES}
  IntOp $Count $Table + 20
  ; host word 1, host word 2, capacity, name width, value width, count, names, values
  System::Call "*$Table(i 0, i 0, i ${CAPACITY}, i ${NAME_WIDTH}, i ${VALUE_WIDTH}, i 0, p $Names, p $Values)"
FunctionEnd

; Stack: name, value. Stores "%name%" and the value in slot `count`, then counts it.
Function TableAdd
  Pop $R0
  Pop $R1
  StrCpy $R0 "%$R0%"
  System::Call "*$Count(i .R2)"
  IntOp $R5 $R2 * ${NAME_WIDTH}
  IntOp $R5 $R5 + $Names
  System::Call "*$R5(&m${NAME_WIDTH} R0)"
  IntOp $R5 $R2 * ${VALUE_WIDTH}
  IntOp $R5 $R5 + $Values
  System::Call "*$R5(&m${VALUE_WIDTH} R1)"
  IntOp $R2 $R2 + 1
  System::Call "*$Count(i R2)"
FunctionEnd

; Stack: name. Pushes the value of the first live slot named "%name%" (with case), or "".
Function TableGet
  Pop $R0
  StrCpy $R0 "%$R0%"
  StrCpy $R1 ""
  System::Call "*$Count(i .R2)"
  StrCpy $R5 0
  loop:
    IntCmp $R5 $R2 done 0 done
    IntOp $R6 $R5 * ${NAME_WIDTH}
    IntOp $R6 $R6 + $Names
    System::Call "*$R6(&m${NAME_WIDTH} .R7)"
    StrCmpS $R7 $R0 found
    IntOp $R5 $R5 + 1
    Goto loop
  found:
    IntOp $R6 $R5 * ${VALUE_WIDTH}
    IntOp $R6 $R6 + $Values
    System::Call "*$R6(&m${VALUE_WIDTH} .R1)"
  done:
  Push $R1
FunctionEnd

Section
  InitPluginsDir
  File "/oname=$PLUGINSDIR\setupext.dll" "${SETUPEXT_DLL}"

  Call TableNew
  !insertmacro TableAdd TEMPLPATH "$EXEDIR\templates"
  !insertmacro TableAdd MAINDIR "$EXEDIR\app"
  !insertmacro TableAdd LANG "Francais"
  !insertmacro TableAdd LIBNAME "Video"
  !insertmacro TableAdd INIREG2 "Software\setupext-examples\nsis"
  !insertmacro TableAdd WINDOWTEXT "setupext example: no such window"

  FileOpen $9 "$EXEDIR\answers.txt" w
  !insertmacro CallOperation IsLibInstalled $1 ""
  !insertmacro TableGet LIBNUMAVAIL $2
  FileWrite $9 "IsLibInstalled=$1$\r$\nLIBNUMAVAIL=$2$\r$\n"
  !insertmacro CallOperation IsVBNETAppRunning $1 ""
  FileWrite $9 "IsVBNETAppRunning=$1$\r$\n"
  !insertmacro CallOperation fctLocaliseTemplate $1 ""
  FileWrite $9 "fctLocaliseTemplate=$1$\r$\n"
  ; The last call unloads the DLL, so that $PLUGINSDIR can be removed at the end.
  !insertmacro CallOperation fctRenLabelInTemplagePages $1 "?u"
  FileWrite $9 "fctRenLabelInTemplagePages=$1$\r$\n"
  FileClose $9
  System::Free $Table
SectionEnd
