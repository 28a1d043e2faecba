// Control of the stand-in driver library's simulated cards, for the project's own
// tests and tools. The program itself never includes this header.
//
// The library serves one thread at a time, as the program is: the driver functions,
// the register windows and these calls must not be used from two threads at once.
#pragma once

#include "card_facts.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the tests reach it: from the shared library on Linux, and on Windows from the
// tests' own build of the DLL; the DLL that ships exports the seven driver functions
// and nothing else.
#if defined(_WIN32) && defined(OXSIM_EXPORT_CONTROL)
#define OXSIM_CONTROL __declspec(dllexport)
#elif defined(_WIN32)
#define OXSIM_CONTROL
#else
#define OXSIM_CONTROL __attribute__((visibility("default")))
#endif

namespace oxsim {

inline constexpr unsigned kCounters = detail::kCounterCount;

// Replaces the simulated cards by those the text describes, in the syntax of the
// OX9162_SIM_CARDS variable ("0123@2/13;0456@3/5:noopen", "", "fail", "throw").
// Every open card is closed, input frequencies, DIN and the clock return to their
// defaults, and the trace is cleared. A malformed text returns false with the bad
// part in *error, and the library then fails OX9162_CardsInSystem, as it would for
// the same variable.
OXSIM_CONTROL bool Configure(const std::string &cards, std::string *error = nullptr);

// Configure from OX9162_SIM_CARDS again (the default cards when it is unset).
OXSIM_CONTROL void Reset();

// The in-memory trace is kept only when asked for: KeepTrace(N) keeps the latest N
// events (a ring: the oldest are dropped beyond N, and counted), KeepTrace(0), the
// default, none. It holds across Configure and Reset, which clear the trace. False,
// keeping none, when the room cannot be reserved. kTestTraceEvents holds a few whole
// downloads; memory is committed only as far as the ring fills.
inline constexpr std::size_t kTestTraceEvents = std::size_t{1} << 22;
OXSIM_CONTROL bool KeepTrace(std::size_t lastEvents = kTestTraceEvents);

// The kept trace, one line per event, exactly as the trace file (OX9162_SIM_TRACE)
// has them, without the newline; after a first line "trace ring: N earlier events
// dropped" when the ring dropped some:
//   call NAME ARGS = STATUS OUTS   a driver call: in-arguments and, after a status
//                                  of 0, out-values, in decimal except the window
//                                  address (0x-hex); "call OX9162_Card_DID 0 = 0 291",
//                                  "call OX9162_CardsInSystem = throw" when it raises
//   R CARD OFF VV / W CARD OFF VV  a byte read or write: card number in decimal,
//                                  offset in three and value in two lower-case hex
//                                  digits ("W 0 420 05", "R 0 40c 00")
//   R! ... / W! ...                the same on a card that is not open (reads 0xff)
//   R CARD OFF VVVV (N)            an access of N bytes at once (never made by the
//                                  program): the value as a little-endian number, so
//                                  "R 0 400 0201 (2)" read 01 at 400 and 02 at 401
OXSIM_CONTROL std::vector<std::string> Trace();
// The number of events kept, without formatting them.
OXSIM_CONTROL std::size_t TraceSize();
// The number of events dropped by the ring since the trace was last cleared; kept and
// dropped together are every event since then.
OXSIM_CONTROL std::size_t TraceDropped();
OXSIM_CONTROL void ClearTrace();
// Streams the trace to this file from now on, as OX9162_SIM_TRACE does from the
// start (an empty path stops it). The file keeps everything; nothing stays in memory.
OXSIM_CONTROL void TraceToFile(const std::string &path);

// The clock that drives the counter inputs. The real one, from time 0, is the
// default after Configure and Reset; the
// virtual one stands still until advanced, so counts and levels are exact. Switching
// to the virtual clock keeps the counts and sets time to 0, where every input has
// just had a rising edge: an input of period P is high for t mod P < P/2 and counts
// one edge at each multiple of P (P rounded to whole nanoseconds).
OXSIM_CONTROL void UseVirtualClock();
OXSIM_CONTROL void UseRealClock();
// Moves the clock forward, virtual or real (the real one keeps running from there).
OXSIM_CONTROL void AdvanceClock(std::chrono::nanoseconds step);
// The clock's present time.
OXSIM_CONTROL std::chrono::nanoseconds ClockNow();

// The square-wave frequency of a counter's input; 0 holds the input low. By default
// counter n runs at 10^(4n/23) Hz: 1 Hz on CNT0 to 10 kHz on CNT23.
OXSIM_CONTROL void SetInputFrequency(uint32_t card, unsigned counter, double hertz);
OXSIM_CONTROL double InputFrequency(uint32_t card, unsigned counter);
// A configured card's DIN reads this byte instead of the last DOUT byte, until
// cleared; it holds across downloads.
OXSIM_CONTROL void SetDin(uint32_t card, uint8_t value);
OXSIM_CONTROL void ClearDin(uint32_t card);
// Card-side values that tests put in place, as the card would hold them. A counter
// takes the value now and counts on from it if started; the pulse that begins a
// download zeroes counters, masks, SEL, DOUT, XDOUT and the clears seen. The VERSION
// byte holds across downloads until Configure or Reset.
OXSIM_CONTROL void SetCounter(uint32_t card, unsigned counter, uint32_t value);
OXSIM_CONTROL void SetVersion(uint32_t card, uint8_t value);

struct ClearOp {
    unsigned group; // 0, 1, 2: CLR0, CLR1, CLR2
    uint8_t mask;
};

struct CardState {
    bool exists = false;        // a card with this number is configured
    bool open = false;          // opened through the library and not closed since
    bool configured = false;    // a download ended in a complete configuration
    uint32_t bytesReceived = 0; // configuration bytes of the current or last download
    uint32_t startMask = 0;     // bit n: CNTn counts
    std::array<uint32_t, kCounters> counters{};
    uint8_t sel = 0;
    uint8_t dout = 0;
    uint8_t xdout = 0;
    std::vector<ClearOp> clears; // CLR writes since the download began (the last 1024)
};
OXSIM_CONTROL CardState ReadCardState(uint32_t card);

} // namespace oxsim
