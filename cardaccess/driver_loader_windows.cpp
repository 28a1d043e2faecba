// Windows: ZOVAK_OX9162.DLL is loaded at the programs' first call into it, not by
// Windows' loader at start, so a program without the DLL still starts, answers
// --help, and says what is missing and where it looked.
#include "ox9162_driver.h"
#include "wide_text.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr const wchar_t *kDllName = L"ZOVAK_OX9162.DLL";

using oxtext::Utf8;

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

// The system folder of the program's width: a 32-bit program on 64-bit Windows sees
// SysWOW64 where it asks for System32, so that is the folder named and searched.
std::wstring SystemFolder() {
    BOOL wow64 = FALSE;
    if (sizeof(void *) == 4 && IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        return AskForPath([](wchar_t *buffer, DWORD size) {
            return static_cast<DWORD>(GetSystemWow64DirectoryW(buffer, size));
        });
    }
    return AskForPath([](wchar_t *buffer, DWORD size) {
        return static_cast<DWORD>(GetSystemDirectoryW(buffer, size));
    });
}

struct Place {
    const char *what;
    std::wstring folder;
};

// Where the DLL is looked for, in this order: beside the program, then where the
// maker's driver installs it. Never the current folder or PATH, where anyone could
// leave a DLL of that name for the program to run.
std::vector<Place> SafePlaces() {
    std::wstring program = ModuleFile(nullptr);
    const std::size_t slash = program.find_last_of(L"\\/");
    program.resize(slash == std::wstring::npos ? 0 : slash);
    std::vector<Place> places = {{"the program's folder", program},
                                 {"the system folder", SystemFolder()}};
    // A folder the system did not name is none: a bare backslash before the DLL's name
    // would mean the current drive's root.
    std::erase_if(places, [](const Place &place) { return place.folder.empty(); });
    return places;
}

// The system's text for code, on one line; "%1" stands for file, as Windows has no
// insert to give it when it only reports a code.
std::string SystemMessage(DWORD code, const std::wstring &file) {
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
    for (std::size_t at = text.find(L"%1"); at != std::wstring::npos;
         at = text.find(L"%1", at + file.size())) {
        text.replace(at, 2, file);
    }
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + Utf8(text));
}

// The DLL was found, so these two codes, whose system texts read as if it were not,
// concern what it imports.
std::string DependencyHint(DWORD code) {
    switch (code) {
    case ERROR_MOD_NOT_FOUND:
        return ": a library that it needs is missing from its folder and the system folder";
    case ERROR_PROC_NOT_FOUND:
        return ": a library that it needs lacks a function that it imports";
    default:
        return "";
    }
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

std::wstring DllIn(const Place &place) {
    return place.folder + L"\\" + kDllName;
}

Driver Load() {
    const std::vector<Place> places = SafePlaces();
    const auto found = std::find_if(places.begin(), places.end(), [](const Place &place) {
        return GetFileAttributesW(DllIn(place).c_str()) != INVALID_FILE_ATTRIBUTES;
    });
    if (found == places.end()) {
        std::string searched;
        for (const Place &place : places) {
            searched += (searched.empty() ? "" : " nor in ") + std::string(place.what) + " " +
                        Utf8(place.folder);
        }
        throw std::runtime_error("cannot load " + Utf8(kDllName) + ": it is not in " + searched +
                                 " (the only places searched, in that order)");
    }
    // What the DLL itself imports comes from its own folder or the system's only.
    const std::wstring file = DllIn(*found);
    Driver driver{};
    driver.module.reset(LoadLibraryExW(
        file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!driver.module) {
        const DWORD code = GetLastError();
        throw std::runtime_error("cannot load " + Utf8(file) + " (" + SystemMessage(code, file) +
                                 ")" + DependencyHint(code));
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
