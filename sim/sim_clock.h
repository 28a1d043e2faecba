// Time as the simulated card inputs see it, in integer nanoseconds. It runs forward
// only, except that Restart and UseVirtual set it back to 0: callers remake the cards
// or settle their counts first, so no edge is counted twice or lost.
#pragma once

#include <chrono>
#include <cstdint>

namespace oxsim::detail {

class SimClock {
  public:
    SimClock() { Restart(); }

    int64_t Now() const {
        if (virtual_) {
            return base_;
        }
        return base_ + std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - realOrigin_)
                           .count();
    }

    // Real clock from time 0, back from wherever it stood.
    void Restart() {
        virtual_ = false;
        base_ = 0;
        realOrigin_ = std::chrono::steady_clock::now();
    }
    // Virtual clock standing at time 0, back from wherever it stood, so every input
    // starts its period there.
    void UseVirtual() {
        virtual_ = true;
        base_ = 0;
    }
    // Real clock running on from the present time.
    void UseReal() {
        base_ = Now();
        virtual_ = false;
        realOrigin_ = std::chrono::steady_clock::now();
    }
    // Forward only: a negative step is ignored.
    void Advance(std::chrono::nanoseconds step) {
        if (step.count() > 0) {
            base_ += step.count();
        }
    }

  private:
    bool virtual_ = false;
    int64_t base_ = 0;
    std::chrono::steady_clock::time_point realOrigin_;
};

} // namespace oxsim::detail
