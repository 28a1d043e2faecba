// A second process that tries to take a card: enumerates, opens card N and exits
// with the status of OX9162_Open; the library's line, if any, on standard error.
#include "ox9162_driver.h"

#include <cstdlib>

int main(int argc, char **argv) {
    uint32_t count = 0;
    if (argc != 2 || OX9162_CardsInSystem(&count) != 0) {
        return 2;
    }
    return OX9162_Open(static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)), 0) == 0 ? 0 : 1;
}
