// The control API for tests, on the library's own state.
#include "sim_control.h"

#include "simulator.h"

namespace oxsim {
namespace {

using detail::CardModel;
using detail::Simulator;

// Null for a number that is no card or a counter out of range.
CardModel *ModelOf(uint32_t card, unsigned counter = 0) {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    detail::SimCard *c = sim.Card(card);
    return c != nullptr && counter < kCounters ? &c->model : nullptr;
}

} // namespace

bool Configure(const std::string &cards, std::string *error) {
    return Simulator::Get().Configure(cards, error);
}

void Reset() {
    Simulator::Get().ConfigureFromEnvironment();
}

bool KeepTrace(std::size_t lastEvents) {
    return Simulator::Get().Trace().Keep(lastEvents);
}

std::vector<std::string> Trace() {
    return Simulator::Get().Trace().Lines();
}

std::size_t TraceSize() {
    return Simulator::Get().Trace().Kept();
}

std::size_t TraceDropped() {
    return Simulator::Get().Trace().Dropped();
}

void ClearTrace() {
    Simulator::Get().Trace().Clear();
}

void TraceToFile(const std::string &path) {
    Simulator::Get().Trace().OpenFile(path.c_str());
}

void UseVirtualClock() {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    sim.UseVirtualClock();
}

void UseRealClock() {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    sim.UseRealClock();
}

void AdvanceClock(std::chrono::nanoseconds step) {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    sim.Clock().Advance(step);
}

std::chrono::nanoseconds ClockNow() {
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    return std::chrono::nanoseconds(sim.Clock().Now());
}

void SetInputFrequency(uint32_t card, unsigned counter, double hertz) {
    if (CardModel *model = ModelOf(card, counter)) {
        model->SetInputFrequency(counter, hertz);
    }
}

double InputFrequency(uint32_t card, unsigned counter) {
    const CardModel *model = ModelOf(card, counter);
    return model != nullptr ? model->InputFrequency(counter) : 0.0;
}

void SetDin(uint32_t card, uint8_t value) {
    if (CardModel *model = ModelOf(card)) {
        model->SetDin(value);
    }
}

void ClearDin(uint32_t card) {
    if (CardModel *model = ModelOf(card)) {
        model->ClearDin();
    }
}

void SetCounter(uint32_t card, unsigned counter, uint32_t value) {
    if (CardModel *model = ModelOf(card, counter)) {
        model->SetCounter(counter, value);
    }
}

void SetVersion(uint32_t card, uint8_t value) {
    if (CardModel *model = ModelOf(card)) {
        model->SetVersion(value);
    }
}

CardState ReadCardState(uint32_t card) {
    CardState state;
    Simulator &sim = Simulator::Get();
    sim.EnsureConfigured();
    detail::SimCard *c = sim.Card(card);
    if (c == nullptr) {
        return state;
    }
    CardModel &model = c->model;
    model.Settle();
    state.exists = true;
    state.open = c->open;
    state.configured = model.Configured();
    state.bytesReceived = model.BytesReceived();
    state.startMask = model.StartMask();
    for (unsigned n = 0; n < kCounters; ++n) {
        state.counters[n] = model.Counter(n);
    }
    state.sel = model.Sel();
    state.dout = model.Dout();
    state.xdout = model.Xdout();
    for (std::size_t i = 0; i < model.ClearCount(); ++i) {
        const detail::ClearRecord r = model.ClearAt(i);
        state.clears.push_back({r.group, r.mask});
    }
    return state;
}

} // namespace oxsim
