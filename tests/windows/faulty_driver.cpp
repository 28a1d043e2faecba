// A driver DLL that faults as a broken maker's DLL would: its first call writes through
// a null pointer. The programs must take that as a library error.
#include "ox9162_driver.h"

namespace {
uint32_t *volatile gNowhere = nullptr;
}

uint32_t OX9162_CALL OX9162_CardsInSystem(uint32_t *count) {
    *gNowhere = 1;
    return *count = 0;
}

// The other six, which the programs bind but never reach.
#define OX_REFUSED(name, ...)                                                                      \
    uint32_t OX9162_CALL name(__VA_ARGS__) {                                                       \
        return 1;                                                                                  \
    }
OX_REFUSED(OX9162_Card_DID, uint32_t, uint32_t *)
OX_REFUSED(OX9162_Card_BUS, uint32_t, uint32_t *)
OX_REFUSED(OX9162_Card_SLOT, uint32_t, uint32_t *)
OX_REFUSED(OX9162_Open, uint32_t, uint32_t)
OX_REFUSED(OX9162_BAR4_BaseAdr, uint32_t, uintptr_t *, uint32_t *)
OX_REFUSED(OX9162_Close, uint32_t)
