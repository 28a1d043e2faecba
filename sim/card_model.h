// One simulated card behind its register window, register by register. Reads and
// writes run inside the window trap's signal handler: nothing here allocates, locks
// or does I/O on that path.
#pragma once

#include "card_facts.h"
#include "sim_clock.h"
#include "sim_config.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace oxsim::detail {

struct ClearRecord {
    uint8_t group;
    uint8_t mask;
};

class CardModel {
  public:
    static constexpr std::size_t kClearHistory = 1024;

    CardModel(const CardSpec &spec, const SimClock &clock);

    uint8_t Read(uint32_t offset);
    void Write(uint32_t offset, uint8_t value);

    // Brings the counters up to the clock's present time.
    void Settle();
    // Forgets elapsed time without counting it (the clock was set back).
    void Restamp() { lastUpdate_ = clock_->Now(); }

    bool IsKrv5316() const { return krv_; }
    bool Configured() const { return configured_; }
    uint32_t BytesReceived() const { return received_; }
    uint32_t StartMask() const { return startMask_; }
    uint32_t Counter(unsigned n) const { return counters_[n]; }
    uint8_t Sel() const { return sel_; }
    uint8_t Dout() const { return dout_; }
    uint8_t Xdout() const { return xdout_; }
    // Clear operations since configuration, oldest first; the oldest are dropped
    // beyond kClearHistory.
    std::size_t ClearCount() const {
        return clearCount_ < kClearHistory ? clearCount_ : kClearHistory;
    }
    ClearRecord ClearAt(std::size_t i) const;

    void SetInputFrequency(unsigned n, double hertz);
    double InputFrequency(unsigned n) const { return hertz_[n]; }
    void SetDin(uint8_t value) {
        dinOverride_ = true;
        din_ = value;
    }
    void ClearDin() { dinOverride_ = false; }
    void SetCounter(unsigned n, uint32_t value);
    void SetVersion(uint8_t value) { version_ = value; }

  private:
    uint8_t Status();
    void WriteConf(uint8_t value);
    void TakeDataByte(uint8_t value);
    void StartAfresh();
    uint8_t ReadData(unsigned group) const;
    uint8_t Levels(unsigned group) const;
    bool Lost() const;
    int64_t DroppedEdges(unsigned n, int64_t from, int64_t to) const;

    const SimClock *clock_;
    CardFaults faults_;
    bool krv_;

    // Download
    bool pulseHigh_ = false;
    bool armed_ = false;
    bool loading_ = false;
    bool stuckNow_ = false;
    uint32_t busyReads_ = 0;
    uint32_t received_ = 0;
    uint32_t crc_ = 0;
    bool configured_ = false;
    uint8_t version_;

    // Configured card
    std::array<uint32_t, kCounterCount> counters_{};
    std::array<int64_t, kCounterCount> periodNs_{};
    std::array<double, kCounterCount> hertz_{};
    int64_t lastUpdate_ = 0;
    uint32_t startMask_ = 0;
    uint32_t latch_ = 0;
    uint32_t runningSelections_ = 0; // for the tear fault
    uint8_t sel_ = 0;
    uint8_t dout_ = 0;
    uint8_t xdout_ = 0;
    bool dinOverride_ = false;
    uint8_t din_ = 0;
    std::array<ClearRecord, kClearHistory> clears_{};
    std::size_t clearCount_ = 0;
};

// The default square-wave frequency of counter n: a geometric spread from 1 Hz on
// CNT0 to 10 kHz on CNT23.
double DefaultInputFrequency(unsigned n);

} // namespace oxsim::detail
