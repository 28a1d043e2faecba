#include "card_model.h"

#include "firmware_image.h"

#include <algorithm>
#include <cmath>

namespace oxsim::detail {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

constexpr uint32_t CrcStep(uint32_t crc, uint8_t byte) {
    return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

// Running CRC register (not inverted) of the whole image, as a download must end.
uint32_t ImageCrc() {
    static const uint32_t kCrc = [] {
        uint32_t c = 0xFFFFFFFFu;
        for (uint8_t byte : FirmwareImage) {
            c = CrcStep(c, byte);
        }
        return c;
    }();
    return kCrc;
}

int64_t PeriodOf(double hertz) {
    if (!(hertz > 0)) {
        return 0;
    }
    const double ns = std::round(1e9 / hertz);
    return ns < 2 ? 2 : ns > 1e18 ? int64_t{1'000'000'000'000'000'000} : static_cast<int64_t>(ns);
}

} // namespace

double DefaultInputFrequency(unsigned n) {
    return std::pow(10.0, 4.0 * n / (kCounterCount - 1));
}

CardModel::CardModel(const CardSpec &spec, const SimClock &clock)
    : clock_(&clock), faults_(spec.faults), krv_(spec.did == kKrv5316Did),
      version_(spec.faults.version) {
    ImageCrc();
    for (unsigned n = 0; n < kCounterCount; ++n) {
        SetInputFrequency(n, faults_.inputHzSet >> n & 1 ? faults_.inputHz[n]
                                                         : DefaultInputFrequency(n));
    }
    lastUpdate_ = clock_->Now();
}

uint8_t CardModel::Read(uint32_t offset) {
    if (!krv_ || Lost()) {
        return 0xFF;
    }
    if (offset == reg::CONF) {
        return Status();
    }
    if (!configured_) {
        return 0xFF;
    }
    switch (offset) {
    case reg::DIN: {
        const int64_t now = clock_->Now();
        const bool flipped = now >= faults_.dinFlipFrom && now < faults_.dinFlipTo;
        return (((dinOverride_ ? din_ : dout_) ^ (flipped ? faults_.dinFlip : 0)) &
                ~faults_.dinLow) |
               faults_.dinHigh;
    }
    case reg::VERSION:
        return version_;
    default:
        if (offset >= reg::DATA0 && offset <= reg::DATA3 && offset % 4 == 0) {
            return ReadData((offset - reg::DATA0) / 4);
        }
        return 0xFF;
    }
}

void CardModel::Write(uint32_t offset, uint8_t value) {
    if (!krv_ || Lost()) {
        return;
    }
    if (offset == reg::CONF) {
        WriteConf(value);
        return;
    }
    if (loading_) {
        if (offset == reg::DATA0) {
            TakeDataByte(value);
        }
        return;
    }
    if (!configured_) {
        return;
    }
    if (offset >= reg::DATA0 && offset < reg::DATA3 && offset % 4 == 0) {
        Settle();
        const unsigned shift = 8 * ((offset - reg::DATA0) / 4);
        startMask_ = (startMask_ & ~(0xFFu << shift)) | (uint32_t{value} << shift);
    } else if (offset >= reg::CLR0 && offset <= reg::CLR2 && offset % 4 == 0) {
        Settle();
        const unsigned group = (offset - reg::CLR0) / 4;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (value & (1u << bit)) {
                counters_[8 * group + bit] = 0;
            }
        }
        clears_[clearCount_ % kClearHistory] = {static_cast<uint8_t>(group), value};
        ++clearCount_;
    } else if (offset == reg::SEL) {
        sel_ = value;
        if (value < kCounterCount) {
            Settle();
            latch_ =
                faults_.stuckCounters >> value & 1 ? faults_.stuckValue[value] : counters_[value];
            if (faults_.tearEvery != 0 && (startMask_ >> value & 1) &&
                ++runningSelections_ % faults_.tearEvery == 0) {
                latch_ &= 0xFF000000u;
            }
        }
    } else if (offset == reg::DOUT) {
        dout_ = value;
    } else if (offset == reg::XDOUT) {
        xdout_ = value;
    }
}

uint8_t CardModel::Status() {
    uint8_t status = configured_ ? kStatusDone : 0;
    if (stuckNow_) {
        return status;
    }
    if (busyReads_ > 0) {
        --busyReads_;
    }
    return busyReads_ == 0 ? status | kStatusReady : status;
}

void CardModel::WriteConf(uint8_t value) {
    if (value & kConfBegin) {
        pulseHigh_ = true;
        armed_ = false;
        loading_ = false;
        return;
    }
    if (pulseHigh_) {
        pulseHigh_ = false;
        StartAfresh();
        armed_ = true;
    }
    if (value & kConfLoad) {
        loading_ = armed_;
        return;
    }
    if (loading_) {
        loading_ = false;
        armed_ = false;
        configured_ = !faults_.noDone && received_ == FirmwareImage.size() && crc_ == ImageCrc();
        lastUpdate_ = clock_->Now();
    }
}

void CardModel::TakeDataByte(uint8_t value) {
    // A byte written before the card is ready for it is lost, as on the real card.
    if (busyReads_ > 0 || stuckNow_) {
        return;
    }
    ++received_;
    crc_ = CrcStep(crc_, value);
    busyReads_ = faults_.slow;
    stuckNow_ = faults_.stuck;
}

void CardModel::StartAfresh() {
    configured_ = false;
    received_ = 0;
    crc_ = 0xFFFFFFFFu;
    busyReads_ = 0;
    stuckNow_ = false;
    counters_.fill(0);
    startMask_ = 0;
    latch_ = 0;
    sel_ = 0;
    dout_ = 0;
    xdout_ = 0;
    clearCount_ = 0;
}

uint8_t CardModel::ReadData(unsigned group) const {
    if (sel_ < kCounterCount) {
        return static_cast<uint8_t>(latch_ >> (8 * group));
    }
    if (sel_ == kSelectLevels && group < 3) {
        return Levels(group);
    }
    return 0xFF;
}

uint8_t CardModel::Levels(unsigned group) const {
    const int64_t now = clock_->Now();
    uint8_t levels = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
        const int64_t period = periodNs_[8 * group + bit];
        if (period > 0 && now % period < period / 2) {
            levels |= static_cast<uint8_t>(1u << bit);
        }
    }
    return levels;
}

void CardModel::Settle() {
    const int64_t now = clock_->Now();
    if (now <= lastUpdate_) {
        return;
    }
    for (unsigned n = 0; n < kCounterCount; ++n) {
        const int64_t period = periodNs_[n];
        if ((startMask_ & ~faults_.deadCounters) >> n & 1 && period > 0) {
            counters_[n] += static_cast<uint32_t>(now / period - lastUpdate_ / period -
                                                  DroppedEdges(n, lastUpdate_, now));
        }
    }
    lastUpdate_ = now;
}

bool CardModel::Lost() const {
    return faults_.lostAt >= 0 && clock_->Now() >= faults_.lostAt;
}

// The edges of input n in (from, to] that fall in its lost seconds: the last second of
// every dropEvery[n].
int64_t CardModel::DroppedEdges(unsigned n, int64_t from, int64_t to) const {
    if (!(faults_.dropCounters >> n & 1)) {
        return 0;
    }
    constexpr int64_t kLost = 1'000'000'000;
    const int64_t every = faults_.dropEvery[n];
    const int64_t period = periodNs_[n];
    int64_t dropped = 0;
    for (int64_t k = from / every; k <= to / every; ++k) {
        const int64_t begin = std::max(from, (k + 1) * every - kLost);
        const int64_t end = std::min(to, (k + 1) * every);
        dropped += end > begin ? end / period - begin / period : 0;
    }
    return dropped;
}

ClearRecord CardModel::ClearAt(std::size_t i) const {
    const std::size_t first = clearCount_ > kClearHistory ? clearCount_ - kClearHistory : 0;
    return clears_[(first + i) % kClearHistory];
}

void CardModel::SetInputFrequency(unsigned n, double hertz) {
    Settle();
    hertz_[n] = hertz > 0 ? hertz : 0;
    periodNs_[n] = PeriodOf(hertz);
}

void CardModel::SetCounter(unsigned n, uint32_t value) {
    Settle();
    counters_[n] = value;
}

} // namespace oxsim::detail
