// The shipped header compiles as C++98 and as C++20, and declares the operations with C names.
#include "setupext.h"

SETUPEXT_OPERATION header_check_cxx[] = {fctLocaliseTemplate, fctRenLabelInTemplagePages, IsLibInstalled,
                                         IsVBNETAppRunning};
