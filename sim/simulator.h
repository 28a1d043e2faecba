// The library's one piece of state: the configured cards, their windows, the clock
// and the trace. Driver functions and the control API both work on it.
#pragma once

#include "access_trace.h"
#include "card_model.h"
#include "sim_clock.h"
#include "sim_config.h"
#include "window_trap.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace oxsim::detail {

struct SimCard {
    CardSpec spec;
    CardModel model;
    bool open = false;
};

class Simulator final : public WindowSink {
  public:
    // Created when the library loads.
    static Simulator &Get();

    // Reads OX9162_SIM_CARDS the first time only.
    void EnsureConfigured();
    // False for malformed text, with the bad part in *error; the library then fails
    // enumeration.
    bool Configure(std::string_view text, std::string *error);
    void ConfigureFromEnvironment();

    Whole WholeForm() const { return config_.whole; }
    std::size_t CardCount() const { return cards_.size(); }
    // Null for a number that is no card.
    SimCard *Card(uint32_t number);
    uintptr_t Window(uint32_t number);

    AccessTrace &Trace() { return trace_; }
    SimClock &Clock() { return clock_; }
    void UseVirtualClock();
    void UseRealClock();

    void ReadWindow(std::size_t window, uint32_t offset, uint8_t *bytes, unsigned width) override;
    void WriteWindow(std::size_t window, uint32_t offset, const uint8_t *bytes,
                     unsigned width) override;

  private:
    Simulator();

    SimConfig config_;
    bool configured_ = false;
    SimClock clock_;
    // Cards hold a pointer to clock_, so they live in stable places.
    std::vector<std::unique_ptr<SimCard>> cards_;
    AccessTrace trace_;
    WindowTrap trap_;
};

} // namespace oxsim::detail
