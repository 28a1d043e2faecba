#include "process_run.h"
#include "sim_environment.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

struct StartedProcess::System {
    pid_t pid = 0;
};

StartedProcess::StartedProcess(const ProcessStart &start) : system_(std::make_unique<System>()) {
    std::vector<std::string> args{start.program.string()};
    args.insert(args.end(), start.arguments.begin(), start.arguments.end());
    std::vector<char *> argv;
    for (std::string &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string in = start.in.empty() ? "/dev/null" : start.in.string();
    const std::string out = start.out.empty() ? (start.dir / "out").string() : start.out.string();
    const std::string err = (start.dir / "err").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&files, start.dir.c_str());
    // The signals a shell's child starts with, whatever the test runner has.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const SimEnvironment environment(start.environment);
    if (posix_spawn(&system_->pid, argv[0], &files, &attributes, argv.data(), environment.data()) !=
        0) {
        system_->pid = 0;
    }
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
}

StartedProcess::~StartedProcess() {
    if (system_->pid != 0) {
        kill(system_->pid, SIGKILL);
        waitpid(system_->pid, nullptr, 0);
    }
}

bool StartedProcess::started() const {
    return system_->pid != 0;
}

unsigned long StartedProcess::id() const {
    return static_cast<unsigned long>(system_->pid);
}

int StartedProcess::wait(int seconds) {
    if (system_->pid == 0) {
        return -1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int raw = 0;
    while (waitpid(system_->pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(system_->pid, SIGKILL);
            waitpid(system_->pid, &raw, 0);
            raw = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    system_->pid = 0;
    return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string OutputText(const std::filesystem::path &path) {
    return FileText(path);
}
