/* One simulated card as seen from its PCI BAR4: the stand-in's card model behind a C
 * interface, for a virtual machine's PCI device that loads this library, so the guest's
 * card answers exactly as the stand-in's does. Not thread-safe: one caller at a time. */
#ifndef OXSIM_CARD_DEVICE_H
#define OXSIM_CARD_DEVICE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The register window's size; BAR4 is one page. */
#define OXSIM_CARD_WINDOW 4096u

typedef struct OxsimCard OxsimCard;

#ifndef OXSIM_CARD_EXPORT
#define OXSIM_CARD_EXPORT
#endif

/* card: "DID" or "DID:fault,fault..." in the stand-in's words (OX9162_SIM_CARDS without
 * the position). NULL, and the reason in error, when the text is not a card. */
OXSIM_CARD_EXPORT OxsimCard *oxsim_card_create(const char *card, char *error, size_t error_size);
OXSIM_CARD_EXPORT void oxsim_card_destroy(OxsimCard *card);
OXSIM_CARD_EXPORT uint16_t oxsim_card_device_id(const OxsimCard *card);
/* Little-endian accesses of 1 to 8 bytes inside the window. */
OXSIM_CARD_EXPORT uint64_t oxsim_card_read(OxsimCard *card, uint32_t offset, unsigned width);
OXSIM_CARD_EXPORT void oxsim_card_write(OxsimCard *card, uint32_t offset, uint64_t value,
                                        unsigned width);

#ifdef __cplusplus
}
#endif

#endif
