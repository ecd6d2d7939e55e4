// The version resource of the built Tallowbox.exe, read back from the file with the calls
// Explorer's properties page uses (GetFileVersionInfoW, VerQueryValueW), and the about box's
// version text in the same file: both come from res/version.h. Also the application manifest
// the system reads from the same file when the program starts.
#include "common/TempFolder.h"
#include "res/version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length - 1 : 0);
    return wide;
}

std::wstring BuiltProgram() {
    return Widen(WindowsPathOfBuildFile(TALLOWBOX_EXE));
}

// The whole version block of a file; empty (and the error printed) when it has none.
std::vector<BYTE> VersionBlockOf(const std::wstring& file) {
    ::SetLastError(0xDEADBEEF);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) {
        ADD_FAILURE() << "GetFileVersionInfoSizeW failed, error " << ::GetLastError();
        return {};
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        ADD_FAILURE() << "GetFileVersionInfoW failed, error " << ::GetLastError();
        return {};
    }
    return block;
}

// One value of the block, or nullptr when VerQueryValueW finds none.
const void* ValueOf(std::vector<BYTE>& block, const std::wstring& name, UINT* length) {
    void* value = nullptr;
    *length = 0;
    if (block.empty() || !::VerQueryValueW(block.data(), name.c_str(), &value, length))
        return nullptr;
    return value;
}

// A data file's module handle, freed when it goes.
class DataFileModule {
public:
    explicit DataFileModule(const std::wstring& file)
        : m_module(::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataFileModule() {
        if (m_module != nullptr)
            ::FreeLibrary(m_module);
    }
    DataFileModule(const DataFileModule&) = delete;
    DataFileModule& operator=(const DataFileModule&) = delete;
    HMODULE get() const { return m_module; }

private:
    HMODULE m_module;
};

const std::wstring kVersionText = L"" TALLOWBOX_VERSION_TEXT;

TEST(VersionResource, FixedPartCarriesTheVersionNumbers) {
    std::vector<BYTE> block = VersionBlockOf(BuiltProgram());
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(ValueOf(block, L"\\", &length));
    ASSERT_NE(nullptr, fixed) << "no fixed part";
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    const DWORD major = TALLOWBOX_VERSION_MAJOR, minor = TALLOWBOX_VERSION_MINOR;
    EXPECT_EQ((major << 16) | minor, fixed->dwFileVersionMS) << "file version major.minor";
    EXPECT_EQ(0u, fixed->dwFileVersionLS) << "file version, last two numbers";
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS) << "product version major.minor";
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS) << "product version, last two numbers";
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask) << "neither debug nor pre-release";
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS_NT_WINDOWS32), fixed->dwFileOS);
}

TEST(VersionResource, JapaneseStringsNameTheProgram) {
    std::vector<BYTE> block = VersionBlockOf(BuiltProgram());
    UINT length = 0;
    const auto* translations =
        static_cast<const WORD*>(ValueOf(block, L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(nullptr, translations) << "no translation list";
    ASSERT_EQ(4u, length) << "one language and code page";
    EXPECT_EQ(0x0411, translations[0]) << "language: Japanese";
    EXPECT_EQ(1200, translations[1]) << "code page: UTF-16";

    struct Expected {
        const wchar_t* name;
        std::wstring text;
    };
    const Expected expected[] = {
        {L"ProductName", L"Tallowbox"},
        {L"FileDescription", L"Tallowbox 時刻付きバックアップ"},
        {L"FileVersion", kVersionText},
        {L"ProductVersion", kVersionText},
        {L"LegalCopyright", L"© 2026 Tallowbox の開発者"},
        {L"CompanyName", L"Tallowbox の開発者"},
        {L"InternalName", L"Tallowbox"},
        {L"OriginalFilename", L"Tallowbox.exe"},
    };
    for (const Expected& want : expected) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + want.name;
        const auto* text = static_cast<const wchar_t*>(ValueOf(block, path, &length));
        ASSERT_NE(nullptr, text) << "no value " << ::testing::PrintToString(path);
        // The length counts characters, the terminating zero included.
        ASSERT_EQ(want.text.size() + 1, length) << ::testing::PrintToString(path);
        EXPECT_EQ(want.text, std::wstring(text, length - 1)) << ::testing::PrintToString(path);
        EXPECT_EQ(L'\0', text[length - 1]) << ::testing::PrintToString(path);
    }
}

TEST(VersionResource, AboutBoxShowsTheSameVersion) {
    std::vector<BYTE> block = VersionBlockOf(BuiltProgram());
    UINT length = 0;
    const auto* fileVersion =
        static_cast<const wchar_t*>(ValueOf(block, L"\\StringFileInfo\\041104b0\\FileVersion", &length));
    ASSERT_NE(nullptr, fileVersion);
    const std::wstring aboutText = L"Tallowbox Version " + std::wstring(fileVersion);

    DataFileModule program(BuiltProgram());
    ASSERT_NE(nullptr, program.get()) << "LoadLibraryExW failed, error " << ::GetLastError();
    HRSRC resource = ::FindResourceW(program.get(), MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(5)); // RT_DIALOG
    ASSERT_NE(nullptr, resource) << "no dialog 100";
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(program.get(), resource)));
    const DWORD size = ::SizeofResource(program.get(), resource);
    ASSERT_NE(nullptr, data);
    // The dialog's texts are zero-terminated UTF-16 strings: look for the whole one.
    const std::wstring wanted = aboutText + L'\0';
    const size_t bytes = wanted.size() * sizeof(wchar_t);
    bool found = false;
    for (size_t at = 0; at + bytes <= size && !found; at += 2)
        found = std::memcmp(data + at, wanted.data(), bytes) == 0;
    EXPECT_TRUE(found) << "dialog 100 has no text " << ::testing::PrintToString(aboutText);
}

} // namespace

// Resource 1 of type RT_MANIFEST, as the loader reads it when the process starts.
TEST(Manifest, CommonControlsSixPerMonitorAwarenessAndTheSystemsCodePage) {
    DataFileModule program(BuiltProgram());
    ASSERT_NE(nullptr, program.get()) << "LoadLibraryExW failed, error " << ::GetLastError();
    HRSRC resource = ::FindResourceW(program.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, resource) << "no manifest 1";
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(program.get(), resource)));
    ASSERT_NE(nullptr, data);
    const std::string manifest(data, ::SizeofResource(program.get(), resource));
    const char* const needed[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        ">PerMonitorV2, PerMonitor</dpiAwareness>",
        ">true/pm</dpiAware>",
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>", // Windows 10 and 11
        "<requestedExecutionLevel level=\"asInvoker\"",
        ">true</longPathAware>",
    };
    for (const char* text : needed)
        EXPECT_NE(std::string::npos, manifest.find(text)) << "the manifest lacks " << text;
    EXPECT_EQ(std::string::npos, manifest.find("activeCodePage")) << "the ANSI code page stays the system's";
}
