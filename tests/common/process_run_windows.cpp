#include "process_run.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string &text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    return wide;
}

// One argument as the C runtime's parser reads it back: quoted when empty or holding
// blanks or quotes; backslashes doubled only before a quote, which is escaped.
std::wstring Quoted(const std::wstring &argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

// This process's variables, less the stand-in's, then the ones given: a block of
// NAME=VALUE strings, each ended by a null, and a null after the last.
std::wstring EnvironmentBlock(const std::vector<std::string> &added) {
    std::wstring block;
    wchar_t *const own = GetEnvironmentStringsW();
    for (const wchar_t *entry = own; *entry != L'\0'; entry += wcslen(entry) + 1) {
        if (std::wstring_view(entry).substr(0, 11) != L"OX9162_SIM_") {
            block.append(entry).push_back(L'\0');
        }
    }
    FreeEnvironmentStringsW(own);
    for (const std::string &variable : added) {
        block.append(Wide(variable)).push_back(L'\0');
    }
    return block + L'\0';
}

// A handle the program inherits as one of its standard streams.
HANDLE Inherited(const std::filesystem::path &path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

struct StartedProcess::System {
    PROCESS_INFORMATION process{};
};

StartedProcess::StartedProcess(const ProcessStart &start) : system_(std::make_unique<System>()) {
    std::wstring commandLine = Quoted(start.program.wstring());
    for (const std::string &argument : start.arguments) {
        commandLine += L' ' + Quoted(Wide(argument));
    }
    std::wstring environment = EnvironmentBlock(start.environment);
    const HANDLE streams[] = {Inherited(start.in.empty() ? "NUL" : start.in, false),
                              Inherited(start.out.empty() ? start.dir / "out" : start.out, true),
                              Inherited(start.dir / "err", true)};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = streams[0];
    startup.hStdOutput = streams[1];
    startup.hStdError = streams[2];
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT;
    if (!CreateProcessW(start.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                        environment.data(), start.dir.c_str(), &startup, &system_->process)) {
        system_->process = {};
    }
    for (const HANDLE stream : streams) {
        CloseHandle(stream);
    }
    if (system_->process.hThread != nullptr) {
        CloseHandle(system_->process.hThread);
    }
}

StartedProcess::~StartedProcess() {
    if (started()) {
        TerminateProcess(system_->process.hProcess, 1);
        WaitForSingleObject(system_->process.hProcess, INFINITE);
        CloseHandle(system_->process.hProcess);
    }
}

bool StartedProcess::started() const {
    return system_->process.hProcess != nullptr;
}

unsigned long StartedProcess::id() const {
    return system_->process.dwProcessId;
}

int StartedProcess::wait(int seconds) {
    if (!started()) {
        return -1;
    }
    DWORD status = 0;
    const bool ended = WaitForSingleObject(system_->process.hProcess,
                                           static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(system_->process.hProcess, 1);
        WaitForSingleObject(system_->process.hProcess, INFINITE);
    }
    GetExitCodeProcess(system_->process.hProcess, &status);
    CloseHandle(system_->process.hProcess);
    system_->process = {};
    return ended ? static_cast<int>(status) : -1;
}

std::string OutputText(const std::filesystem::path &path) {
    std::string text = FileText(path);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\r' || k + 1 == text.size() || text[k + 1] != '\n') {
            text[kept++] = text[k];
        }
    }
    text.resize(kept);
    return text;
}
