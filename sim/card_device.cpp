// The library exports these five functions alone.
#define OXSIM_CARD_EXPORT __attribute__((visibility("default")))
#include "card_device.h"

#include "card_model.h"
#include "sim_clock.h"
#include "sim_config.h"

#include <cstdio>
#include <memory>
#include <string>

struct OxsimCard {
    explicit OxsimCard(const oxsim::detail::CardSpec &card) : model(card, clock) {}
    oxsim::detail::SimClock clock; // before the model, which keeps its address
    oxsim::detail::CardModel model;
    uint16_t did;
};

extern "C" {

OxsimCard *oxsim_card_create(const char *card, char *error, size_t error_size) {
    using namespace oxsim::detail;
    std::string why;
    if (card == nullptr) {
        why = "no card text";
    } else {
        // A position of its own is meaningless here: the PCI slot is the machine's.
        const std::string text(card);
        const auto colon = text.find(':');
        const SimConfig config =
            ParseConfig(text.substr(0, colon) + "@0/0" +
                        (colon == std::string::npos ? "" : text.substr(colon)));
        if (config.whole == Whole::Cards && config.cards.size() == 1 &&
            config.cards[0].did <= 0xFFFF) {
            auto made = std::make_unique<OxsimCard>(config.cards[0]);
            made->did = static_cast<uint16_t>(config.cards[0].did);
            return made.release();
        }
        why = config.error.empty() ? "not one card: \"" + text + "\"" : config.error;
    }
    if (error != nullptr && error_size > 0) {
        std::snprintf(error, error_size, "%s", why.c_str());
    }
    return nullptr;
}

void oxsim_card_destroy(OxsimCard *card) {
    std::unique_ptr<OxsimCard> owned(card);
}

uint16_t oxsim_card_device_id(const OxsimCard *card) {
    return card->did;
}

uint64_t oxsim_card_read(OxsimCard *card, uint32_t offset, unsigned width) {
    uint64_t value = 0;
    for (unsigned i = 0; i < width && i < 8; ++i) {
        value |= uint64_t{card->model.Read(offset + i)} << (8 * i);
    }
    return value;
}

void oxsim_card_write(OxsimCard *card, uint32_t offset, uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width && i < 8; ++i) {
        card->model.Write(offset + i, static_cast<uint8_t>(value >> (8 * i)));
    }
}

} // extern "C"
