// The seven driver functions on the simulated cards. Each call is traced as
// "call NAME ARGS = STATUS OUTS".
#include "ox9162_driver.h"
#include "simulator.h"

#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string>

using oxsim::detail::CardFaults;
using oxsim::detail::CardSpec;
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

// A library call that raises: traced as "call NAME ARGS = throw".
[[noreturn]] void Raise(const char *name, const std::string &args) {
    Simulator::Get().Trace().RecordCall(std::string("call ") + name + args + " = throw");
    throw std::runtime_error(name + args + ": simulated driver failure");
}

// The three queries that differ only in their faults and value.
uint32_t Query(const char *name, uint32_t card, uint32_t *out, bool CardFaults::*fails,
               bool CardFaults::*raises, uint32_t CardSpec::*value) {
    const SimCard *c = CardFor(card);
    if (c != nullptr && c->spec.faults.*raises) {
        Raise(name, Join({card}));
    }
    if (c == nullptr || out == nullptr || c->spec.faults.*fails) {
        return Traced(name, Join({card}), kFailed);
    }
    *out = c->spec.*value;
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
        Raise(kName, "");
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
    return Query("OX9162_Card_DID", card, did, &CardFaults::noDid, &CardFaults::throwDid,
                 &CardSpec::did);
}

uint32_t OX9162_CALL OX9162_Card_BUS(uint32_t card, uint32_t *bus) {
    return Query("OX9162_Card_BUS", card, bus, &CardFaults::noBus, &CardFaults::throwBus,
                 &CardSpec::bus);
}

uint32_t OX9162_CALL OX9162_Card_SLOT(uint32_t card, uint32_t *slot) {
    return Query("OX9162_Card_SLOT", card, slot, &CardFaults::noSlot, &CardFaults::throwSlot,
                 &CardSpec::slot);
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
