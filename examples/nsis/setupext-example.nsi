; An NSIS 3 installer that calls the four operations of setupext.dll through the macros of
; setupext.nsh and writes their answers to answers.txt beside itself. In the unpacked package
; (the DLLs are in ..\..\ and ..\..\x64\, which setupext.nsh picks from by the target):
;
;   makensis setupext-example.nsi                          (x86-unicode)
;   makensis -DANSI setupext-example.nsi                   (x86-ansi: Unicode false)
;   makensis -XTarget amd64-unicode setupext-example.nsi   (amd64-unicode)
;   makensis -DSETUPEXT_DLL=path\to\setupext.dll ...       (a DLL from elsewhere)
;
; Run (silently: it shows nothing), it works on two folders beside itself:
;   templates\                 localised by fctLocaliseTemplate (TEMPLPATH)
;   app\Material\Template\     localised by fctRenLabelInTemplagePages (MAINDIR = app)
; and asks IsLibInstalled about HKEY_CURRENT_USER\Software\setupext-examples\nsis (which it
; creates when missing). answers.txt then reads, with Windows line ends:
;   IsLibInstalled=0
;   LIBNUMAVAIL=1                  (the number the next entry of that list would take: 1
;                                   while the list is empty, 2 when it holds LibName1)
;   IsVBNETAppRunning=0
;   fctLocaliseTemplate=1
;   fctRenLabelInTemplagePages=1
; It also writes uninstall.exe beside itself, which removes what a call cut short may have left
; in the two folders (SetupExt_RemoveLeftovers), then answers.txt and itself.

!ifdef ANSI
  Unicode false
!else
  Unicode true
!endif
Name "setupext example"
!ifdef OUTFILE
  OutFile "${OUTFILE}"
!else
  OutFile "setupext-example.exe"
!endif
!ifndef SETUPEXT_DIR
  !define SETUPEXT_DIR "../.."   ; where the package has the DLLs, from this folder
!endif
!addincludedir "${__FILEDIR__}/../../include"  ; setupext.nsh, beside setupext.h
!include "setupext.nsh"
RequestExecutionLevel user
SilentInstall silent

Section
  ${SetupExt_Begin}
  ClearErrors
  ${SetupExt_Set} TEMPLPATH "$EXEDIR\templates"
  ${SetupExt_Set} MAINDIR "$EXEDIR\app"
  ${SetupExt_Set} LANG "Francais"
  ${SetupExt_Set} LIBNAME "Video"
  ${SetupExt_Set} INIREG2 "Software\setupext-examples\nsis"
  ${SetupExt_Set} WINDOWTEXT "setupext example: no such window"
  ; A value the table cannot hold (a folder name the ANSI code page cannot write) is left
  ; empty rather than named wrongly, and the error flag is set.
  ${If} ${Errors}
    Abort "setupext: $EXEDIR cannot be named in the system's ANSI code page"
  ${EndIf}
  ; To learn how many pages were localised and how many stayed English, create the two
  ; variables here and read them after the template calls:
  ;   ${SetupExt_Set} PAGESLOCALISED ""
  ;   ${SetupExt_Set} PAGESLEFT ""

  FileOpen $9 "$EXEDIR\answers.txt" w
  ${SetupExt_Call} IsLibInstalled $1
  ${SetupExt_Get} LIBNUMAVAIL $2
  FileWrite $9 "IsLibInstalled=$1$\r$\nLIBNUMAVAIL=$2$\r$\n"
  ${SetupExt_Call} IsVBNETAppRunning $1
  FileWrite $9 "IsVBNETAppRunning=$1$\r$\n"
  ${SetupExt_Call} fctLocaliseTemplate $1
  FileWrite $9 "fctLocaliseTemplate=$1$\r$\n"
  ${SetupExt_Call} fctRenLabelInTemplagePages $1
  FileWrite $9 "fctRenLabelInTemplagePages=$1$\r$\n"
  FileClose $9
  ; Frees the table and unloads the DLL, so that $PLUGINSDIR can be removed.
  ${SetupExt_End}
  WriteUninstaller "$EXEDIR\uninstall.exe"
SectionEnd

; A product's uninstaller would then delete its pages by their French names (x.page ends as
; x.pag) and RMDir its folders, which the leftovers would otherwise keep.
Section "Uninstall"
  ${SetupExt_RemoveLeftovers} "$INSTDIR\templates"
  ${SetupExt_RemoveLeftovers} "$INSTDIR\app\Material\Template"
  Delete "$INSTDIR\answers.txt"
  Delete "$INSTDIR\uninstall.exe"
SectionEnd
