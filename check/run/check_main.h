// krv5316-check on its arguments, which each system's entry (system/entry_*.cpp) hands
// over in UTF-8.
#pragma once

#include <string>
#include <vector>

// args: the arguments after the program's name. The program's exit status.
int Check(const std::vector<std::string> &arguments);
