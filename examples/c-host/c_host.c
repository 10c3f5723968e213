/*
 * A small host for setupext.dll, as an installer would be: lays out a table of variables,
 * loads the DLL by its full path, asks IsLibInstalled, reads LIBNUMAVAIL, localises a
 * template folder with fctLocaliseTemplate and prints what it learnt.
 *
 *   c_host DLLPATH TEMPLPATH INIREG2 LIBNAME
 *
 * Plain C; build it for 32-bit Windows with any compiler, for example
 *   i686-w64-mingw32-gcc -I../../include c_host.c -o c_host.exe
 *   cl /I..\..\include c_host.c
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "setupext.h"

#define CAPACITY 8      /* room for our five variables and LIBNUMAVAIL */
#define NAME_WIDTH 32   /* "%NAME%" and its NUL */
#define VALUE_WIDTH 1024

static char names[CAPACITY * NAME_WIDTH];
static char values[CAPACITY * VALUE_WIDTH];

/* Stores NAME=VALUE in the next free slot; 0 when the table is full or a slot too narrow. */
static int add_variable(SETUPEXT_TABLE *table, const char *name, const char *value) {
  if (table->count >= table->capacity) return 0;
  if (strlen(name) + 3 > table->name_width || strlen(value) + 1 > table->value_width) return 0;
  sprintf(table->names + table->count * table->name_width, "%%%s%%", name);
  strcpy(table->values + table->count * table->value_width, value);
  table->count++;
  return 1;
}

/* The value of the first slot named "%NAME%" (names compare with case), or NULL. */
static const char *find_variable(const SETUPEXT_TABLE *table, const char *name) {
  char key[NAME_WIDTH];
  SETUPEXT_U32 i;
  if (strlen(name) + 3 > sizeof key) return NULL;
  sprintf(key, "%%%s%%", name);
  for (i = 0; i < table->count; ++i) {
    if (strcmp(table->names + i * table->name_width, key) == 0) return table->values + i * table->value_width;
  }
  return NULL;
}

static SETUPEXT_OPERATION find_operation(HMODULE module, const char *name) {
  SETUPEXT_OPERATION operation = (SETUPEXT_OPERATION)(void (*)(void))GetProcAddress(module, name);
  if (operation == NULL) fprintf(stderr, "c_host: the DLL does not export %s\n", name);
  return operation;
}

int main(int argc, char **argv) {
  SETUPEXT_TABLE table;
  HMODULE module;
  SETUPEXT_OPERATION is_lib_installed, localise_template;
  const char *libnumavail;
  unsigned char answer;

  if (argc != 5) {
    fprintf(stderr, "usage: c_host DLLPATH TEMPLPATH INIREG2 LIBNAME\n");
    return 2;
  }
  memset(&table, 0, sizeof table);
  table.capacity = CAPACITY;
  table.name_width = NAME_WIDTH;
  table.value_width = VALUE_WIDTH;
  table.names = names;
  table.values = values;
  /* Text in the table is ANSI. LANG is only carried: French is the only translation. */
  if (!add_variable(&table, "TEMPLPATH", argv[2]) || !add_variable(&table, "LANG", "Fran\347ais") ||
      !add_variable(&table, "INIREG2", argv[3]) || !add_variable(&table, "LIBNAME", argv[4])) {
    fprintf(stderr, "c_host: a value is too long for the table\n");
    return 2;
  }

  /* A full path: the DLL is never searched for along the system's path. */
  module = LoadLibraryA(argv[1]);
  if (module == NULL) {
    fprintf(stderr, "c_host: cannot load %s (error %lu)\n", argv[1], (unsigned long)GetLastError());
    return 2;
  }
  is_lib_installed = find_operation(module, "IsLibInstalled");
  localise_template = find_operation(module, "fctLocaliseTemplate");
  if (is_lib_installed == NULL || localise_template == NULL) {
    FreeLibrary(module);
    return 2;
  }

  /* The answer is one byte; the return type makes the compiler read only that byte. */
  answer = is_lib_installed(&table);
  printf("IsLibInstalled: %u\n", (unsigned)answer);
  /* Written only when the answer is 0, into the free slot after the live ones. */
  libnumavail = find_variable(&table, "LIBNUMAVAIL");
  printf("LIBNUMAVAIL: %s\n", libnumavail != NULL ? libnumavail : "(not set)");

  answer = localise_template(&table);
  printf("fctLocaliseTemplate: %u\n", (unsigned)answer);

  FreeLibrary(module);
  return 0;
}
