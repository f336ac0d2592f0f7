#include "tools/CheckSumInput.h"

bool IsCheckSumKey(char c) { return c == 8 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
