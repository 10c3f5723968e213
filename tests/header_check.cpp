// The shipped header compiles as C++98 and as C++20, declares the operations with C names, and
// lays the table out as in C (the checks of header_check.c).
#include "header_check.c"

SETUPEXT_OPERATION header_check_cxx[] = {fctLocaliseTemplate, fctRenLabelInTemplagePages, IsLibInstalled,
                                         IsVBNETAppRunning};
