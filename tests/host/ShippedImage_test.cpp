// The vesk.dll that ships, read as a file: its PE header, sections, imports
// and exports against what a release promises. It loads on Windows 2000 and
// later (only allow-listed imports, no static TLS), relocates, is small, and
// carries nothing of the machine that built it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ParameterProbe.h"

namespace {

constexpr const char* ImagePath = "vesk.dll";
constexpr size_t SizeBudget = 96 * 1024;
constexpr size_t CodeAndDataBudget = 24 * 1024;  // everything but the resources and the headers

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The file's bytes and its headers, with addresses translated through the sections.
struct PeFile {
    std::vector<uint8_t> bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;
    std::vector<IMAGE_SECTION_HEADER> sections;

    const uint8_t* AtAddress(DWORD rva, DWORD size = 1) const {
        for (const IMAGE_SECTION_HEADER& s : sections) {
            if (rva >= s.VirtualAddress && rva + size <= s.VirtualAddress + s.SizeOfRawData) {
                size_t offset = s.PointerToRawData + (rva - s.VirtualAddress);
                return offset + size <= bytes.size() ? bytes.data() + offset : nullptr;
            }
        }
        return nullptr;
    }
    const char* TextAt(DWORD rva) const { return reinterpret_cast<const char*>(AtAddress(rva)); }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const { return nt->OptionalHeader.DataDirectory[index]; }
    // Names longer than eight characters are "/offset" into the COFF string table.
    std::string SectionName(const IMAGE_SECTION_HEADER& s) const {
        std::string name(reinterpret_cast<const char*>(s.Name), strnlen(reinterpret_cast<const char*>(s.Name), 8));
        if (name.size() < 2 || name[0] != '/') return name;
        size_t table = nt->FileHeader.PointerToSymbolTable + size_t(nt->FileHeader.NumberOfSymbols) * 18;
        size_t at = table + std::stoul(name.substr(1));
        if (nt->FileHeader.PointerToSymbolTable == 0 || at >= bytes.size()) return name;
        return std::string(reinterpret_cast<const char*>(bytes.data() + at), strnlen(reinterpret_cast<const char*>(bytes.data() + at), bytes.size() - at));
    }
};

PeFile ReadPeFile(const char* path) {
    PeFile pe;
    std::ifstream in(path, std::ios::binary);
    pe.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (pe.bytes.size() < sizeof(IMAGE_DOS_HEADER)) return pe;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pe.bytes.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > pe.bytes.size()) return pe;
    pe.nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(pe.bytes.data() + dos->e_lfanew);
    if (pe.nt->Signature != IMAGE_NT_SIGNATURE || pe.nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        pe.nt = nullptr;
        return pe;
    }
    auto first = IMAGE_FIRST_SECTION(pe.nt);
    pe.sections.assign(first, first + pe.nt->FileHeader.NumberOfSections);
    return pe;
}

struct Import {
    std::string dll, function;
    bool byOrdinal;
};

std::vector<Import> ImportsOf(const PeFile& pe) {
    std::vector<Import> out;
    const IMAGE_DATA_DIRECTORY& dir = pe.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (DWORD at = dir.VirtualAddress; dir.Size != 0; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pe.AtAddress(at, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        if (descriptor == nullptr || descriptor->Name == 0) break;
        std::string dll = pe.TextAt(descriptor->Name);
        DWORD thunks = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        for (DWORD t = thunks;; t += 4) {
            auto thunk = reinterpret_cast<const DWORD*>(pe.AtAddress(t, 4));
            if (thunk == nullptr || *thunk == 0) break;
            if (*thunk & IMAGE_ORDINAL_FLAG32) {
                char ordinal[16];
                std::snprintf(ordinal, sizeof ordinal, "#%lu", static_cast<unsigned long>(*thunk & 0xFFFF));
                out.push_back({dll, ordinal, true});
            } else out.push_back({dll, pe.TextAt(*thunk + 2), false});  // past the hint
        }
    }
    return out;
}

std::vector<std::string> ExportNames(const PeFile& pe) {
    std::vector<std::string> out;
    const IMAGE_DATA_DIRECTORY& dir = pe.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(pe.AtAddress(dir.VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY)));
    if (dir.Size == 0 || exports == nullptr) return out;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        auto name = reinterpret_cast<const DWORD*>(pe.AtAddress(exports->AddressOfNames + 4 * i, 4));
        if (name) out.push_back(pe.TextAt(*name));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// One line of imports.allow: the first 9x and NT versions with the function.
struct Allowed {
    std::string first9x, firstNt;
};

std::map<std::string, Allowed> ReadAllowList() {
    std::map<std::string, Allowed> out;
    std::ifstream in("imports.allow");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string dll, function;
        Allowed allowed;
        fields >> dll >> function >> allowed.first9x >> allowed.firstNt;
        out[Lower(dll) + "!" + function] = allowed;
    }
    return out;
}

// Versions as numbers for comparison: "3.1" < "4.0" < "5.0"; "95" < "98" < "98SE".
double NtVersion(const std::string& v) { return v == "-" ? 99.0 : std::stod(v); }
double NineXVersion(const std::string& v) { return v == "-" ? 99.0 : v == "98SE" ? 98.5 : v == "ME" ? 99.0 : std::stod(v); }

class ShippedImage : public ::testing::Test {
  protected:
    void SetUp() override {
        pe_ = ReadPeFile(ImagePath);
        ASSERT_NE(pe_.nt, nullptr) << ImagePath << " is not a 32-bit PE image";
    }
    PeFile pe_;
};

TEST_F(ShippedImage, FitsTheSizeBudget) {
    size_t codeAndData = 0, resources = 0;
    for (const IMAGE_SECTION_HEADER& s : pe_.sections) {
        std::string name = pe_.SectionName(s);
        (name == ".rsrc" ? resources : codeAndData) += s.SizeOfRawData;
    }
    RecordProperty("file_bytes", static_cast<int>(pe_.bytes.size()));
    RecordProperty("code_and_data_bytes", static_cast<int>(codeAndData));
    std::printf("vesk.dll: %zu bytes; resources %zu, code and data %zu\n", pe_.bytes.size(), resources, codeAndData);
    EXPECT_LE(pe_.bytes.size(), SizeBudget);
    EXPECT_LE(codeAndData, CodeAndDataBudget);
}

TEST_F(ShippedImage, ImportsOnlyAllowListedFunctionsOfWindows2000AndOlder) {
    const std::set<std::string> systemDlls = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "msvcrt.dll"};
    std::map<std::string, Allowed> allowList = ReadAllowList();
    ASSERT_FALSE(allowList.empty()) << "imports.allow is missing or empty";
    std::set<std::string> imported;
    for (const Import& i : ImportsOf(pe_)) {
        std::string key = Lower(i.dll) + "!" + i.function;
        imported.insert(key);
        EXPECT_TRUE(systemDlls.count(Lower(i.dll))) << "imports from " << i.dll;
        EXPECT_FALSE(i.byOrdinal) << i.dll << " " << i.function << ": by ordinal, which differs between versions";
        auto found = allowList.find(key);
        if (found == allowList.end()) {
            ADD_FAILURE() << key << " is imported but not on the allow-list";
            continue;
        }
        EXPECT_LE(NtVersion(found->second.firstNt), 5.0) << key << " is newer than Windows 2000";
        EXPECT_LE(NineXVersion(found->second.first9x), 98.5) << key << " is not in Windows 98 SE";
    }
    for (const auto& [key, allowed] : allowList)
        EXPECT_TRUE(imported.count(key)) << key << " is on the allow-list but no longer imported: drop it";
    std::printf("imports: %zu functions\n", imported.size());
}

TEST_F(ShippedImage, ExportsExactlyTheFiveEntryPoints) {
    EXPECT_EQ(ExportNames(pe_), (std::vector<std::string>{"_ExternalTextureClose", "_ExternalTextureMorph",
                                                         "_ExternalTextureProcedure", "_ExternalTextureStartup",
                                                         "_SetExternalParameters"}));
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        pe_.AtAddress(pe_.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY)));
    ASSERT_NE(exports, nullptr);
    EXPECT_STREQ(pe_.TextAt(exports->Name), "vesk.dll");
}

TEST_F(ShippedImage, HeaderOfARelocatableGuiDllWithoutSehOrTls) {
    const IMAGE_OPTIONAL_HEADER32& h = pe_.nt->OptionalHeader;
    EXPECT_TRUE(pe_.nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(pe_.nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(h.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_GT(pe_.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u) << "DYNAMIC_BASE needs a relocation table";
    EXPECT_TRUE(h.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    // No handler is registered anywhere, so NO_SEH is the truth (GNU ld writes no SafeSEH table).
    EXPECT_TRUE(h.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH);
    EXPECT_EQ(pe_.Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG).Size, 0u);
    EXPECT_EQ(h.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    // Windows XP cannot give static TLS to a DLL that LoadLibrary brings in.
    EXPECT_EQ(pe_.Directory(IMAGE_DIRECTORY_ENTRY_TLS).Size, 0u);
    // The loader itself calls the entry point: it must lie in the code.
    bool entryInCode = false;
    for (const IMAGE_SECTION_HEADER& s : pe_.sections)
        if ((s.Characteristics & IMAGE_SCN_CNT_CODE) && h.AddressOfEntryPoint >= s.VirtualAddress &&
            h.AddressOfEntryPoint < s.VirtualAddress + s.Misc.VirtualSize)
            entryInCode = true;
    EXPECT_TRUE(entryInCode);
    // What a C or C++ runtime would bring, and what would never run without one.
    for (const IMAGE_SECTION_HEADER& s : pe_.sections) {
        std::string name = pe_.SectionName(s);
        for (const char* runtime : {".tls", ".CRT", ".ctors", ".dtors", ".eh_frame", ".pdata"})
            EXPECT_NE(name, runtime) << "section " << name;
        EXPECT_NE(name.rfind(".debug", 0), 0u) << "debug information inside the DLL: " << name;
    }
}

TEST_F(ShippedImage, ImageVersionMatchesTheVersionRecord) {
    VersionRecord record = ReadVersionRecord(ImagePath);
    ASSERT_NE(record.fixed, nullptr);
    const VS_FIXEDFILEINFO* fixed = record.fixed;
    EXPECT_EQ(pe_.nt->OptionalHeader.MajorImageVersion, HIWORD(fixed->dwFileVersionMS));
    EXPECT_EQ(pe_.nt->OptionalHeader.MinorImageVersion, LOWORD(fixed->dwFileVersionMS));
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
}

TEST_F(ShippedImage, CarriesNothingOfTheBuild) {
    // Timestamps are zero, not the moment of the build.
    EXPECT_EQ(pe_.nt->FileHeader.TimeDateStamp, 0u);
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        pe_.AtAddress(pe_.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY)));
    ASSERT_NE(exports, nullptr);
    EXPECT_EQ(exports->TimeDateStamp, 0u);
    EXPECT_EQ(pe_.Directory(IMAGE_DIRECTORY_ENTRY_DEBUG).Size, 0u);
    // Neither the source nor the build folder is written anywhere in it.
    std::string bytes(pe_.bytes.begin(), pe_.bytes.end());
    for (const char* folder : {VESK_SOURCE_DIR, VESK_BINARY_DIR})
        EXPECT_EQ(bytes.find(folder), std::string::npos) << folder;
    // Debug information is in the file beside it, named without a folder.
    bool linked = false;
    for (const IMAGE_SECTION_HEADER& s : pe_.sections)
        if (pe_.SectionName(s) == ".gnu_debuglink") linked = std::strcmp(pe_.TextAt(s.VirtualAddress), "vesk.dll.debug") == 0;
    EXPECT_TRUE(linked) << "no debug link to vesk.dll.debug";
}

}  // namespace
