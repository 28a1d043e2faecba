// A second process that tries to take a card: enumerates, opens card N and exits
// with the status of OX9162_Open; the library's line, if any, on standard error. With
// "map" it also maps BAR4, reads the window's last byte and prints the window's offset
// within its page.
#include "ox9162_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv) {
    const bool map = argc == 3 && std::strcmp(argv[2], "map") == 0;
    uint32_t count = 0;
    if ((argc != 2 && !map) || OX9162_CardsInSystem(&count) != 0) {
        return 2;
    }
    const auto card = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    uintptr_t address = 0;
    uint32_t length = 0;
    if (OX9162_Open(card, 0) != 0 || (map && OX9162_BAR4_BaseAdr(card, &address, &length) != 0)) {
        return 1;
    }
    if (map) {
        const volatile uint8_t last = reinterpret_cast<volatile uint8_t *>(address)[length - 1];
        static_cast<void>(last);
        std::printf("%#lx\n", static_cast<unsigned long>(address % ::sysconf(_SC_PAGESIZE)));
    }
    return 0;
}
