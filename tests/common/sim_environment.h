// The environment for a child process that starts the stand-in library afresh: this
// process's variables, less the stand-in's own, plus the ones given.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

extern char **environ;

class SimEnvironment {
  public:
    explicit SimEnvironment(std::vector<std::string> variables) : variables_(std::move(variables)) {
        for (std::string &v : variables_)
            pointers_.push_back(v.data());
        for (char **e = environ; *e != nullptr; ++e) {
            if (!std::string_view(*e).starts_with("OX9162_SIM_"))
                pointers_.push_back(*e);
        }
        pointers_.push_back(nullptr);
    }
    SimEnvironment(const SimEnvironment &) = delete;
    SimEnvironment &operator=(const SimEnvironment &) = delete;

    // For posix_spawn and execve; valid as long as this object lives.
    char *const *data() const { return pointers_.data(); }

  private:
    std::vector<std::string> variables_;
    std::vector<char *> pointers_;
};
