/* A driver DLL that faults as a broken maker's DLL would: its first call writes
 * through a null pointer. The programs must take that as a library error. */
#include "ox9162_driver.h"

#include <stddef.h>

static uint32_t *volatile kNowhere = NULL;

uint32_t OX9162_CALL OX9162_CardsInSystem(uint32_t *count) {
    *kNowhere = 1;
    *count = 0;
    return 0;
}
uint32_t OX9162_CALL OX9162_Card_DID(uint32_t card, uint32_t *did) {
    (void)card;
    (void)did;
    return 1;
}
uint32_t OX9162_CALL OX9162_Card_BUS(uint32_t card, uint32_t *bus) {
    (void)card;
    (void)bus;
    return 1;
}
uint32_t OX9162_CALL OX9162_Card_SLOT(uint32_t card, uint32_t *slot) {
    (void)card;
    (void)slot;
    return 1;
}
uint32_t OX9162_CALL OX9162_Open(uint32_t card, uint32_t mode) {
    (void)card;
    (void)mode;
    return 1;
}
uint32_t OX9162_CALL OX9162_BAR4_BaseAdr(uint32_t card, uintptr_t *address, uint32_t *second) {
    (void)card;
    (void)address;
    (void)second;
    return 1;
}
uint32_t OX9162_CALL OX9162_Close(uint32_t card) {
    (void)card;
    return 1;
}
