#include "check_main.h"

int main(int argc, char **argv) {
    return Check(std::vector<std::string>(argv + 1, argv + argc));
}
