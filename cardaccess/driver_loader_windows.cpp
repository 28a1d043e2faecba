// Windows: ZOVAK_OX9162.DLL is loaded at the programs' first call into it, not by
// Windows' loader at start, so a program without the DLL still starts, answers
// --help, and says what is missing and where it looked.
#include "ox9162_driver.h"

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

constexpr const wchar_t *kDllName = L"ZOVAK_OX9162.DLL";

std::string Utf8(const std::wstring &text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

// A system path of unknown length through the usual ask-twice pattern.
template <typename Query> std::wstring AskForPath(Query query) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = query(text.data(), static_cast<DWORD>(text.size()));
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(static_cast<std::size_t>(length) + MAX_PATH);
    }
}

std::wstring ModuleFile(HMODULE module) {
    return AskForPath([module](wchar_t *buffer, DWORD size) {
        const DWORD length = GetModuleFileNameW(module, buffer, size);
        // Truncation reports the full buffer: ask again with a larger one.
        return length == size ? size + 1 : length;
    });
}

// Where LoadLibrary looks for a DLL named without a path, in its order, as a PATH-like
// list: the program's folder, the system folders, the current folder, then PATH.
std::string SearchPath() {
    std::wstring program = ModuleFile(nullptr);
    program.resize(
        program.find_last_of(L"\\/") == std::wstring::npos ? 0 : program.find_last_of(L"\\/"));
    const std::wstring system = AskForPath([](wchar_t *buffer, DWORD size) {
        return static_cast<DWORD>(GetSystemDirectoryW(buffer, size));
    });
    const std::wstring windows = AskForPath([](wchar_t *buffer, DWORD size) {
        return static_cast<DWORD>(GetWindowsDirectoryW(buffer, size));
    });
    const std::wstring current =
        AskForPath([](wchar_t *buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
    const std::wstring path = AskForPath(
        [](wchar_t *buffer, DWORD size) { return GetEnvironmentVariableW(L"PATH", buffer, size); });
    std::wstring list = program + L";" + system + L";" + windows + L";" + current;
    if (!path.empty()) {
        list += L";" + path;
    }
    return Utf8(list);
}

std::string SystemMessage(DWORD code) {
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owner(buffer, &LocalFree);
    std::wstring text(buffer == nullptr ? L"" : std::wstring(buffer, length));
    // One line: the system's text ends in a line break and often a full stop.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    for (wchar_t &c : text) {
        if (c == L'\r' || c == L'\n') {
            c = L' ';
        }
    }
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + Utf8(text));
}

struct ModuleDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

struct Driver {
    Module module;
    decltype(&OX9162_CardsInSystem) CardsInSystem;
    decltype(&OX9162_Card_DID) Card_DID;
    decltype(&OX9162_Card_BUS) Card_BUS;
    decltype(&OX9162_Card_SLOT) Card_SLOT;
    decltype(&OX9162_Open) Open;
    decltype(&OX9162_BAR4_BaseAdr) BAR4_BaseAdr;
    decltype(&OX9162_Close) Close;
};

template <typename Function> void Bind(const Driver &driver, const char *name, Function &slot) {
    const FARPROC address = GetProcAddress(driver.module.get(), name);
    if (address == nullptr) {
        throw std::runtime_error(Utf8(ModuleFile(driver.module.get())) + " lacks the function " +
                                 name);
    }
    // void (*)() converts to and from any function pointer without a warning.
    slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

Driver Load() {
    Driver driver{};
    driver.module.reset(LoadLibraryW(kDllName));
    if (!driver.module) {
        const DWORD code = GetLastError();
        throw std::runtime_error("cannot load " + Utf8(kDllName) + " (" + SystemMessage(code) +
                                 "), searched " + SearchPath());
    }
    // All seven at once: a DLL lacking one is refused before any card is touched.
    Bind(driver, "OX9162_CardsInSystem", driver.CardsInSystem);
    Bind(driver, "OX9162_Card_DID", driver.Card_DID);
    Bind(driver, "OX9162_Card_BUS", driver.Card_BUS);
    Bind(driver, "OX9162_Card_SLOT", driver.Card_SLOT);
    Bind(driver, "OX9162_Open", driver.Open);
    Bind(driver, "OX9162_BAR4_BaseAdr", driver.BAR4_BaseAdr);
    Bind(driver, "OX9162_Close", driver.Close);
    return driver;
}

// Loaded once for the life of the process; a failed load throws and is tried again at
// the next call.
const Driver &Loaded() {
    static const Driver kDriver = Load();
    return kDriver;
}

} // namespace

extern "C" {

uint32_t OX9162_CALL OX9162_CardsInSystem(uint32_t *count) {
    return Loaded().CardsInSystem(count);
}
uint32_t OX9162_CALL OX9162_Card_DID(uint32_t card, uint32_t *did) {
    return Loaded().Card_DID(card, did);
}
uint32_t OX9162_CALL OX9162_Card_BUS(uint32_t card, uint32_t *bus) {
    return Loaded().Card_BUS(card, bus);
}
uint32_t OX9162_CALL OX9162_Card_SLOT(uint32_t card, uint32_t *slot) {
    return Loaded().Card_SLOT(card, slot);
}
uint32_t OX9162_CALL OX9162_Open(uint32_t card, uint32_t mode) {
    return Loaded().Open(card, mode);
}
uint32_t OX9162_CALL OX9162_BAR4_BaseAdr(uint32_t card, uintptr_t *address, uint32_t *second) {
    return Loaded().BAR4_BaseAdr(card, address, second);
}
uint32_t OX9162_CALL OX9162_Close(uint32_t card) {
    return Loaded().Close(card);
}
}
