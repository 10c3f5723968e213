/*
 * setupext.h - calling setupext.dll from an installer or any Windows program: a 32-bit (x86)
 * program loads setupext.dll, a 64-bit (x64) one x64\setupext.dll, built from the same source.
 *
 * setupext.dll exports four operations under their plain names. Each uses the standard
 * Windows calling convention (__stdcall), takes one argument, the address of the caller's
 * table of script variables (SETUPEXT_TABLE below), and answers with one byte, 1 or 0: only
 * the low byte of the return value (AL) counts, the rest of the register is undefined.
 * Nothing is shown to the user and nothing is kept between calls.
 *
 * The package ships no import library: load the DLL by its full path with LoadLibrary and
 * find each operation with GetProcAddress under its plain name, through SETUPEXT_OPERATION
 * (examples/c-host/c_host.c does exactly that).
 *
 * Plain C89 and C++; builds with any Windows compiler for an x86 or x64 target.
 * Licence: MIT (see LICENSE.txt).
 */
#ifndef SETUPEXT_H
#define SETUPEXT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An unsigned 32-bit word: int is 32 bits wide with every Windows compiler. */
typedef unsigned int SETUPEXT_U32;

/*
 * The table of script variables. The caller lays it out and owns it; an operation reads and
 * writes it only during the call and keeps no pointer to it. Six 32-bit words, then the
 * addresses of the two areas, each as wide as the program's pointers:
 *
 *   field         32-bit program  64-bit program
 *   host_word1          0               0
 *   host_word2          4               4
 *   capacity            8               8
 *   name_width         12              12
 *   value_width        16              16
 *   count              20              20
 *   names              24 (4 bytes)    24 (8 bytes)
 *   values             28 (4 bytes)    32 (8 bytes)
 *   size in all        32              40
 *
 * Variable i is name slot i and value slot i:
 *   name slot i   starts at names  + i * name_width  and holds "%NAME%" NUL-terminated,
 *                 the bare name with a percent sign on each side ("%TEMPLPATH%");
 *   value slot i  starts at values + i * value_width and holds the value as NUL-terminated
 *                 text in the ANSI code page (never UTF-16).
 * Slots 0 .. count-1 are live. Names are compared byte for byte, with case: "%templpath%"
 * is another variable. The first slot with a name wins. An absent variable reads as "".
 *
 * An operation that writes a variable (only IsLibInstalled writes, LIBNUMAVAIL) overwrites
 * its value slot when the name is live; otherwise it stores the name in slot `count`, the
 * value in the same slot and adds 1 to count, provided count < capacity. A full table drops
 * the write without telling: leave a free slot. Nothing is written beyond a slot's width: a
 * value that does not fit, with its NUL, in value_width bytes is not written at all.
 * Values are read whole or not at all: a value longer than the operation's buffer (1023
 * characters for INIREG2, 4095 for the others) makes the operation do nothing.
 */
typedef struct SETUPEXT_TABLE {
  SETUPEXT_U32 host_word1;  /*  0: the caller's own; never read or written */
  SETUPEXT_U32 host_word2;  /*  4: the caller's own; never read or written */
  SETUPEXT_U32 capacity;    /*  8: number of slots in each area */
  SETUPEXT_U32 name_width;  /* 12: bytes from one name slot to the next */
  SETUPEXT_U32 value_width; /* 16: bytes from one value slot to the next */
  SETUPEXT_U32 count;       /* 20: live slots, 0 .. count-1 */
  char *names;              /* 24: the names area, capacity * name_width bytes */
  char *values;             /* 28, or 32 in a 64-bit program: the values area,
                               capacity * value_width bytes */
} SETUPEXT_TABLE;

/* The type of every operation, for GetProcAddress (x64 has one calling convention, which
   __stdcall then names). */
typedef unsigned char(__stdcall *SETUPEXT_OPERATION)(SETUPEXT_TABLE *table);

/*
 * fctLocaliseTemplate
 *   reads   TEMPLPATH (the template folder, ANSI text), LANG (French is the only
 *           translation whatever LANG holds)
 *   writes  nothing
 *   answers 1, always
 *   Localises every page in and below TEMPLPATH from English into French and gives each
 *   French page its page's name again. A page is a file whose last extension begins with
 *   ".pag" (a.pag, a.page). An empty TEMPLPATH does nothing. A second call changes nothing.
 */
unsigned char __stdcall fctLocaliseTemplate(SETUPEXT_TABLE *table);

/*
 * fctRenLabelInTemplagePages (spelled so)
 *   reads   MAINDIR (the application folder), LANG
 *   writes  nothing
 *   answers 1, always
 *   The same as fctLocaliseTemplate, in and below MAINDIR\Material\Template\.
 */
unsigned char __stdcall fctRenLabelInTemplagePages(SETUPEXT_TABLE *table);

/*
 * IsLibInstalled
 *   reads   LIBNAME (a library name), INIREG2 (a settings key below the user's hive,
 *           such as "Software\Example")
 *   writes  LIBNUMAVAIL when it answers 0: the number the next entry of the list takes
 *   answers 1 when LIBNAME (ASCII letters compared without case) is one of the values
 *           LibName1, LibName2, ... of the key INIREG2\Library: the default profile's
 *           (HKEY_USERS\.Default) when that key exists, the current user's otherwise;
 *           0 when it is not listed.
 *   Creates HKEY_CURRENT_USER\INIREG2 when it is missing.
 */
unsigned char __stdcall IsLibInstalled(SETUPEXT_TABLE *table);

/*
 * IsVBNETAppRunning
 *   reads   WINDOWTEXT
 *   writes  nothing
 *   answers 1 when a top-level window of a Windows Forms application has a caption that
 *           begins with WINDOWTEXT (compared with case; an empty WINDOWTEXT matches only an
 *           empty caption), else 0. Never waits for a window's thread.
 */
unsigned char __stdcall IsVBNETAppRunning(SETUPEXT_TABLE *table);

#ifdef __cplusplus
}
#endif

#endif /* SETUPEXT_H */
