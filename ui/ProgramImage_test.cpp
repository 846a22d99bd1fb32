// The built programs' own headers: hardened, self-contained, with their resources.

#include "testing/RunProgram.h"
#include "testing/TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

// What the test needs of a PE file, read from its bytes.
struct ProgramImage {
    bool is64 = false;
    WORD dllCharacteristics = 0;
    DWORD relocationSize = 0;
    DWORD resourceSize = 0;
    std::set<std::string> importedDlls;
};

template <typename T>
T At(const std::string& bytes, std::size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

ProgramImage ReadImage(const std::string& path)
{
    std::string bytes = testfiles::ReadBytes(path);
    ProgramImage image;
    auto dos = At<IMAGE_DOS_HEADER>(bytes, 0);
    std::size_t nt = static_cast<std::size_t>(dos.e_lfanew);
    auto file = At<IMAGE_FILE_HEADER>(bytes, nt + 4);
    std::size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    image.is64 = At<WORD>(bytes, optional) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const IMAGE_DATA_DIRECTORY* directories;
    IMAGE_OPTIONAL_HEADER64 header64{};
    IMAGE_OPTIONAL_HEADER32 header32{};
    if (image.is64) {
        header64 = At<IMAGE_OPTIONAL_HEADER64>(bytes, optional);
        image.dllCharacteristics = header64.DllCharacteristics;
        directories = header64.DataDirectory;
    } else {
        header32 = At<IMAGE_OPTIONAL_HEADER32>(bytes, optional);
        image.dllCharacteristics = header32.DllCharacteristics;
        directories = header32.DataDirectory;
    }
    image.relocationSize = directories[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
    image.resourceSize = directories[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size;

    std::size_t sections = optional + file.SizeOfOptionalHeader;
    auto fileOffset = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < file.NumberOfSections; ++i) {
            auto section = At<IMAGE_SECTION_HEADER>(bytes, sections + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return bytes.size();
    };
    std::size_t imports = fileOffset(directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (;; imports += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(bytes, imports);
        if (descriptor.Name == 0)
            break;
        std::size_t name = fileOffset(descriptor.Name);
        std::string dll = name < bytes.size() ? std::string(bytes.c_str() + name) : "?";
        for (char& c : dll)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        image.importedDlls.insert(dll);
    }
    return image;
}

}  // namespace

TEST(ProgramImage, BothProgramsAreHardenedAndNeedOnlySystemDlls)
{
    const std::set<std::string> systemDlls{"kernel32.dll", "user32.dll", "gdi32.dll",   "comctl32.dll",
                                           "comdlg32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll",
                                           "advapi32.dll", "ws2_32.dll"};
    for (const char* program : {"Veltrane_V10", "veltrane-cli"}) {
        SCOPED_TRACE(program);
        ProgramImage image = ReadImage(testfiles::SiblingProgram(program));
        EXPECT_EQ(image.is64, sizeof(void*) == 8);
        EXPECT_TRUE(image.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
        EXPECT_TRUE(image.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
        if (image.is64) {
            EXPECT_TRUE(image.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
        }
        EXPECT_GT(image.relocationSize, 0u);  // without relocations the loader cannot move it
        EXPECT_FALSE(image.importedDlls.empty());
        for (const std::string& dll : image.importedDlls) {
            EXPECT_TRUE(systemDlls.count(dll)) << dll << " would have to ship beside the program";
        }
    }
}

TEST(ProgramImage, TheWindowProgramCarriesItsManifestAndVersion)
{
    std::string path = testfiles::SiblingProgram("Veltrane_V10");
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                     SizeofResource(module, manifest));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find(sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\""),
              std::string::npos);
    FreeLibrary(module);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string version(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, version.data()));
    auto value = [&](const char* name) {
        char* text = nullptr;
        UINT length = 0;
        std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
        return VerQueryValueA(version.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) && text
                   ? std::string(text)
                   : std::string();
    };
    EXPECT_EQ(value("FileVersion"), VELTRANE_VERSION);
    EXPECT_EQ(value("ProductVersion"), VELTRANE_VERSION);
    EXPECT_EQ(value("InternalName"), "Veltrane_V10");
    EXPECT_EQ(value("OriginalFilename"), "Veltrane_V10.exe");
}
