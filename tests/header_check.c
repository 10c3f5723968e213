/* The shipped header compiles as strict C90 (and, in the C host, as C11) for x86 and x64
   hosts, and lays the table out as it says: six 32-bit words, then the two areas' addresses,
   each as wide as a pointer. A wrong layout is an array of negative size, an error in every
   language mode. */
#include <stddef.h>

#include "setupext.h"

#define LAYOUT(name, holds) typedef char layout_##name[(holds) ? 1 : -1]
#define WIDTH(field) sizeof(((SETUPEXT_TABLE *)0)->field)
LAYOUT(six_words_of_32_bits, WIDTH(host_word1) + WIDTH(host_word2) + WIDTH(capacity) + WIDTH(name_width) +
                                     WIDTH(value_width) + WIDTH(count) == 24 &&
                                 offsetof(SETUPEXT_TABLE, count) == 20);
LAYOUT(names_at_24, offsetof(SETUPEXT_TABLE, names) == 24);
LAYOUT(values_at_28_or_32, offsetof(SETUPEXT_TABLE, values) == (sizeof(void *) == 8 ? 32 : 28));
LAYOUT(size_32_or_40, sizeof(SETUPEXT_TABLE) == (sizeof(void *) == 8 ? 40 : 32));

SETUPEXT_OPERATION header_check_c = fctLocaliseTemplate;
