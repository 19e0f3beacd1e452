// The same program compiled as C++: the header's declarations must link from C++
// as the C functions they are.
#include "test_header.c"
