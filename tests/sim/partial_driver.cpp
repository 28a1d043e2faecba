// A driver library that lacks OX9162_Open: the other six functions answer as for no
// cards. The programs must refuse to start with it.
#include "ox9162_driver.h"

#define FAILING(function, ...)                                                                     \
    uint32_t OX9162_CALL function(__VA_ARGS__) {                                                   \
        return 1;                                                                                  \
    }

extern "C" {
FAILING(OX9162_CardsInSystem, uint32_t *)
FAILING(OX9162_Card_DID, uint32_t, uint32_t *)
FAILING(OX9162_Card_BUS, uint32_t, uint32_t *)
FAILING(OX9162_Card_SLOT, uint32_t, uint32_t *)
FAILING(OX9162_BAR4_BaseAdr, uint32_t, uintptr_t *, uint32_t *)
FAILING(OX9162_Close, uint32_t)
} // extern "C"
