/* Compiled as C: proves the public header is plain C. */
#include "zq/zq.h"

int zq_header_is_c(void) {
    const char* text = ZQ_NumberSolver_RetrieveText();
    return text != 0 && ZQ_Schoonmaken_RetrieveBufferLen("", -1) >= 0;
}
