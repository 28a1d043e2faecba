// Windows' own readers: XmlLite for XML, ntdll's CRC-32. Under Wine a Unix program
// such as Python can be started, but not waited for.
#include "check_program_fixture.h"

#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>
#include <xmllite.h>

namespace {

std::string Utf8(const wchar_t *text) {
    std::string narrow(4 * wcslen(text), '\0');
    narrow.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(),
                                                               static_cast<int>(narrow.size()) + 1,
                                                               nullptr, nullptr)));
    if (!narrow.empty()) {
        narrow.pop_back(); // the null counted
    }
    return narrow;
}

template <class Interface> struct Released {
    Interface *p = nullptr;
    ~Released() {
        if (p != nullptr) {
            p->Release();
        }
    }
};

template <class Function> Function *SystemFunction(const wchar_t *dll, const char *name) {
    return reinterpret_cast<Function *>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryW(dll), name)));
}

} // namespace

json ParseJUnit(const fs::path &xml, const fs::path &) {
    using Create = HRESULT WINAPI(REFIID, void **, IMalloc *);
    const auto create = SystemFunction<Create>(L"xmllite.dll", "CreateXmlReader");
    Released<IStream> stream;
    Released<IXmlReader> reader;
    if (create == nullptr || FAILED(SHCreateStreamOnFileW(xml.c_str(), STGM_READ, &stream.p)) ||
        FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void **>(&reader.p), nullptr)) ||
        FAILED(reader.p->SetInput(stream.p))) {
        ADD_FAILURE() << "XmlLite cannot read " << xml;
        return json();
    }
    // The elements open, the outermost first, below one that takes the root.
    std::vector<json> open{json{{"text", ""}, {"children", json::array()}}};
    const auto close = [&open] {
        json element = std::move(open.back());
        open.pop_back();
        open.back()["children"].push_back(std::move(element));
    };
    const wchar_t *text = nullptr;
    for (XmlNodeType type; reader.p->Read(&type) == S_OK;) {
        if (type == XmlNodeType_Element) {
            const bool empty = reader.p->IsEmptyElement();
            reader.p->GetLocalName(&text, nullptr);
            json element{{"tag", Utf8(text)},
                         {"attrib", json::object()},
                         {"text", ""},
                         {"children", json::array()}};
            for (HRESULT at = reader.p->MoveToFirstAttribute(); at == S_OK;
                 at = reader.p->MoveToNextAttribute()) {
                reader.p->GetLocalName(&text, nullptr);
                const std::string name = Utf8(text);
                reader.p->GetValue(&text, nullptr);
                element["attrib"][name] = Utf8(text);
            }
            open.push_back(std::move(element));
            if (empty) {
                close();
            }
        } else if (type == XmlNodeType_EndElement) {
            close();
        } else if ((type == XmlNodeType_Text || type == XmlNodeType_CDATA ||
                    type == XmlNodeType_Whitespace) &&
                   open.back()["children"].empty()) {
            // As Python's ElementTree: an element's text is what comes before its first child.
            reader.p->GetValue(&text, nullptr);
            open.back()["text"] = open.back()["text"].get<std::string>() + Utf8(text);
        }
    }
    EXPECT_EQ(open.size(), 1u) << "elements left open in " << xml;
    return open.front()["children"].empty() ? json() : open.front()["children"][0];
}

std::uint32_t FileCrc32(const fs::path &file, const fs::path &) {
    using Crc32 = DWORD WINAPI(DWORD, const BYTE *, INT);
    const std::string bytes = FileText(file);
    return SystemFunction<Crc32>(L"ntdll.dll", "RtlComputeCrc32")(
        0, reinterpret_cast<const BYTE *>(bytes.data()), static_cast<INT>(bytes.size()));
}
