#include "check_main.h"
#include "wide_text.h"

// The arguments as Windows holds them, in UTF-16, into UTF-8 once: the ANSI code page
// cannot hold every name.
int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> arguments;
    for (int k = 1; k < argc; ++k) {
        arguments.push_back(oxtext::Utf8(argv[k]));
    }
    return Check(arguments);
}
