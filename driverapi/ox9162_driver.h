/* The maker's driver library for its OX9162 PCI cards: the seven functions the
 * programs import. The programs and every driver library we build include this header.
 * Every function returns 0 on success and any other value on failure. */
#ifndef OX9162_DRIVER_H
#define OX9162_DRIVER_H

#include <stdint.h>

#if defined(_WIN32)
#define OX9162_CALL __stdcall
#else
#define OX9162_CALL
#endif

#if defined(_WIN32) && defined(OX9162_BUILDING_LIBRARY)
#define OX9162_EXPORT __declspec(dllexport)
#elif defined(_WIN32) && defined(OX9162_LOADED_AT_RUN_TIME)
/* The programs' own loader defines the seven functions and finds the DLL's. */
#define OX9162_EXPORT
#elif defined(_WIN32)
#define OX9162_EXPORT __declspec(dllimport)
#else
#define OX9162_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

OX9162_EXPORT uint32_t OX9162_CALL OX9162_CardsInSystem(uint32_t *count);
OX9162_EXPORT uint32_t OX9162_CALL OX9162_Card_DID(uint32_t card, uint32_t *did);
OX9162_EXPORT uint32_t OX9162_CALL OX9162_Card_BUS(uint32_t card, uint32_t *bus);
OX9162_EXPORT uint32_t OX9162_CALL OX9162_Card_SLOT(uint32_t card, uint32_t *slot);
/* mode: always 0 from the program. */
OX9162_EXPORT uint32_t OX9162_CALL OX9162_Open(uint32_t card, uint32_t mode);
/* address: where the card's BAR4 register window begins in this process; it is
 * pointer-wide, since a 64-bit process cannot keep it in 32 bits. */
OX9162_EXPORT uint32_t OX9162_CALL OX9162_BAR4_BaseAdr(uint32_t card, uintptr_t *address,
                                                       uint32_t *second);
OX9162_EXPORT uint32_t OX9162_CALL OX9162_Close(uint32_t card);

#ifdef __cplusplus
}
#endif

#endif
