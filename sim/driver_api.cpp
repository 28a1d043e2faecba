// The seven driver functions on the simulated cards. Each call is traced as
// "call NAME ARGS = STATUS OUTS".
#include "ox9162_driver.h"
#include "simulator.h"

#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string>

using oxsim::detail::SimCard;
using oxsim::detail::Simulator;
using oxsim::detail::Whole;

namespace {

constexpr uint32_t kOk = 0;
constexpr uint32_t kFailed = 1;

std::string Join(std::initializer_list<uint32_t> values) {
    std::string text;
    for (uint32_t v : values) {
        text += ' ' + std::to_string(v);
    }
    return text;
}

// Traces the call and hands its status back.
uint32_t Traced(const char *name, const std::string &args, uint32_t status,
                const std::string &outs = {}) {
    Simulator::Get().Trace().RecordCall(std::string("call ") + name + args + " = " +
                                        std::to_string(status) + (status == kOk ? outs : ""));
    return status;
}

SimCard *CardFor(uint32_t card) {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    return sim.Card(card);
}

// The three queries that differ only in their fault and value.
template <class Fault, class Value>
uint32_t Query(const char *name, uint32_t card, uint32_t *out, Fault fault, Value value) {
    const SimCard *c = CardFor(card);
    if (c == nullptr || out == nullptr || fault(*c)) {
        return Traced(name, Join({card}), kFailed);
    }
    *out = value(*c);
    return Traced(name, Join({card}), kOk, Join({*out}));
}

} // namespace

extern "C" {

uint32_t OX9162_CALL OX9162_CardsInSystem(uint32_t *count) {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    constexpr const char *kName = "OX9162_CardsInSystem";
    switch (sim.WholeForm()) {
    case Whole::Fail:
    case Whole::Malformed:
        return Traced(kName, "", kFailed);
    case Whole::Throw:
        sim.Trace().RecordCall(std::string("call ") + kName + " = throw");
        throw std::runtime_error("OX9162_CardsInSystem: simulated driver failure");
    case Whole::Cards:
        break;
    }
    if (count == nullptr) {
        return Traced(kName, "", kFailed);
    }
    *count = static_cast<uint32_t>(sim.CardCount());
    return Traced(kName, "", kOk, Join({*count}));
}

uint32_t OX9162_CALL OX9162_Card_DID(uint32_t card, uint32_t *did) {
    return Query(
        "OX9162_Card_DID", card, did, [](const SimCard &c) { return c.spec.faults.noDid; },
        [](const SimCard &c) { return c.spec.did; });
}

uint32_t OX9162_CALL OX9162_Card_BUS(uint32_t card, uint32_t *bus) {
    return Query(
        "OX9162_Card_BUS", card, bus, [](const SimCard &c) { return c.spec.faults.noBus; },
        [](const SimCard &c) { return c.spec.bus; });
}

uint32_t OX9162_CALL OX9162_Card_SLOT(uint32_t card, uint32_t *slot) {
    return Query(
        "OX9162_Card_SLOT", card, slot, [](const SimCard &c) { return c.spec.faults.noSlot; },
        [](const SimCard &c) { return c.spec.slot; });
}

uint32_t OX9162_CALL OX9162_Open(uint32_t card, uint32_t mode) {
    SimCard *c = CardFor(card);
    if (c == nullptr || c->spec.faults.noOpen) {
        return Traced("OX9162_Open", Join({card, mode}), kFailed);
    }
    // Opening an open card succeeds: the program reopens after a failed download.
    c->open = true;
    return Traced("OX9162_Open", Join({card, mode}), kOk);
}

uint32_t OX9162_CALL OX9162_BAR4_BaseAdr(uint32_t card, uintptr_t *address, uint32_t *second) {
    const SimCard *c = CardFor(card);
    if (c == nullptr || address == nullptr || second == nullptr || c->spec.faults.noBar) {
        return Traced("OX9162_BAR4_BaseAdr", Join({card}), kFailed);
    }
    *address = Simulator::Get().Window(card);
    *second = 0;
    char hex[32];
    std::snprintf(hex, sizeof hex, " 0x%llx", static_cast<unsigned long long>(*address));
    return Traced("OX9162_BAR4_BaseAdr", Join({card}), kOk, hex + Join({*second}));
}

uint32_t OX9162_CALL OX9162_Close(uint32_t card) {
    SimCard *c = CardFor(card);
    if (c == nullptr || !c->open || c->spec.faults.noClose) {
        return Traced("OX9162_Close", Join({card}), kFailed);
    }
    c->open = false;
    return Traced("OX9162_Close", Join({card}), kOk);
}

} // extern "C"
