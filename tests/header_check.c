/* The shipped header compiles as strict C90 (and, in the C host, as C11). */
#include "setupext.h"

SETUPEXT_OPERATION header_check_c = fctLocaliseTemplate;
