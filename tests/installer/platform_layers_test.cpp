// The platform layers the installer added: version records, embedded resources, files in
// use, Win32-style file operations, the restart file, shell links.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "machine_fixture.h"
#include "platform/machine/in_use.h"
#include "platform/version/version.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace korvane::installer::test {
namespace {

using platform::VsFixedFileInfo;

// A version block as our modules carry it: the magic, a fixed record, then `strings`.
std::vector<std::uint8_t> Block(std::string_view strings) {
    const VsFixedFileInfo fixed;
    constexpr std::size_t kMagic = sizeof platform::kVersionBlockMagic;
    std::vector<std::uint8_t> block(kMagic + sizeof fixed + strings.size());
    std::memcpy(block.data(), platform::kVersionBlockMagic, kMagic);
    std::memcpy(block.data() + kMagic, &fixed, sizeof fixed);
    std::memcpy(block.data() + kMagic + sizeof fixed, strings.data(), strings.size());
    return block;
}

// Files without a record or with broken headers have none. The strings of our modules
// answer queries (their fixed records are read by the versioned placement's tests); a block
// whose strings run off its end is refused without reading past it (the sanitizer build
// catches any over-read).
TEST(VersionRecord, OnlyWholeRecordsAreFoundAndTheirStringsAnswerQueries) {
    const korvane::testing::TempDir dir;
    const fs::path text = dir.Path() / "ReadMe.txt";
    std::ofstream(text) << "no version here";
    EXPECT_EQ(platform::GetFileVersionInfoSize(text), 0u);
    EXPECT_EQ(platform::GetFileVersionInfoSize(dir.Path() / "missing.dll"), 0u);
    EXPECT_EQ(platform::GetFileVersionInfoSize(KORVANE_BIN_DIR "/korvane-machine"), 0u);  // ELF, no record

    // Every truncation of a real module either still finds a valid record or none; the
    // section headers at the end go first, so a cut module has none.
    auto image = ReadBytes(PayloadModule("MSVCRT.DLL"));
    for (std::size_t cut : {std::size_t(0), std::size_t(63), image.size() / 2, image.size() - 1}) {
        const std::span<const std::uint8_t> part(image.data(), cut);
        const auto section = platform::FindVersionSection(part);
        EXPECT_TRUE(!section || platform::IsValidVersionBlock(*section)) << cut;
    }
    // A section header offset pointing far outside the file.
    auto broken = image;
    const std::uint64_t far = ~std::uint64_t(0) - 16;
    std::memcpy(broken.data() + 0x28, &far, 8);
    EXPECT_FALSE(platform::FindVersionSection(broken).has_value());

    const fs::path file = PayloadModule("MFC42.DLL");
    const std::uint32_t size = platform::GetFileVersionInfoSize(file);
    ASSERT_GT(size, 52u);
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(platform::GetFileVersionInfo(file, block));
    std::span<const std::uint8_t> value;
    ASSERT_TRUE(platform::VerQueryValue(block, "\\StringFileInfo\\040904E4\\ProductVersion", &value));
    EXPECT_STREQ(reinterpret_cast<const char*>(value.data()), "6.0.8665.0");
    EXPECT_FALSE(platform::VerQueryValue(block, "\\StringFileInfo\\040904E4\\NoSuchName", &value));
    std::vector<std::uint8_t> small(size - 1);
    EXPECT_FALSE(platform::GetFileVersionInfo(file, small));

    EXPECT_FALSE(platform::IsValidVersionBlock(Block(std::string_view("CompanyName\0Quorvix", 19))));
    // "ab\0\0cd" with no end: the empty value ends the list early, "cd" runs off.
    const auto runaway = Block(std::string_view("ab\0\0cd", 6));
    EXPECT_FALSE(platform::VerQueryValue(runaway, "\\StringFileInfo\\0409\\cd", &value));
    EXPECT_TRUE(platform::VerQueryValue(runaway, "\\StringFileInfo\\0409\\ab", &value));
    EXPECT_EQ(value.size(), 1u);
}

TEST(EmbeddedResources, RoundTripLookupAndStringsAndDamagedImagesAreRefused) {
    Payload payload;
    payload.Add("IDT_APPFILE_1", Bytes("first")).Add("IDT_LICENSE_TXT", Bytes("a\r\nb")).Add("OTHER", Bytes("x"), "DATA");
    payload.String(40000, "Korvane.exe").String(50000, "Korvane");
    const auto& image = payload.Image();
    const auto found = image.FindResource("idt_appfile_1", "instfile");  // names ignore case
    ASSERT_TRUE(found.has_value());
    const auto bytes = platform::ResourceImage::LoadResource(*found);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "first");
    EXPECT_FALSE(image.FindResource("OTHER", "INSTFILE").has_value());
    EXPECT_FALSE(image.FindResource("IDT_APPFILE_2", "INSTFILE").has_value());

    char buffer[5];
    EXPECT_EQ(image.LoadString(40000, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "Korv");  // truncated to the buffer, NUL-terminated
    EXPECT_EQ(image.LoadString(40001, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(image.Strings().Load(50000), "Korvane");

    // Damaged images are refused with a reason.
    std::string error;
    const auto plain = Bytes("just a program without resources");
    EXPECT_FALSE(platform::ResourceImage::Parse(plain, &error).has_value());
    EXPECT_FALSE(error.empty());

    // A valid image, then every directory byte flipped in turn: never a crash or a view
    // outside the image (ASan would tell), either refused or parsed within bounds.
    const auto blob = platform::EncodeResourceBlob({{"INSTFILE", "IDT_APPFILE_1", Bytes("content")}}, {{1, "s"}});
    for (std::size_t i = 0; i < blob.size(); ++i) {
        auto damaged = blob;
        damaged[i] ^= 0xFF;
        AppendTrailer(damaged, blob.size());
        const auto parsed = platform::ResourceImage::Parse(damaged);
        if (!parsed) continue;
        if (const auto r = parsed->FindResource("IDT_APPFILE_1", "INSTFILE")) {
            const auto bytes = platform::ResourceImage::LoadResource(*r);
            EXPECT_GE(bytes.data(), damaged.data());
            EXPECT_LE(bytes.data() + bytes.size(), damaged.data() + damaged.size());
        }
    }
    // A trailer claiming more bytes than the file has.
    auto lying = plain;
    AppendTrailer(lying, 0x7F7F7F7F7F7F7F7Full);
    EXPECT_FALSE(platform::ResourceImage::Parse(lying, &error).has_value());
}

class MachineLayers : public MachineTest {};

TEST_F(MachineLayers, FilesInUseCannotBeDeletedReplacedOrWritten) {
    WriteFile("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", Bytes("old"));
    {
        auto lock = platform::InUseLock::Hold(Host("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"));
        EXPECT_FALSE(files->DeleteFile("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"));
        EXPECT_FALSE(files->WriteFileAtomically("C:\\WINDOWS\\SYSTEM\\mfc42.dll", Bytes("new")));
        EXPECT_EQ(files->Open("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", "w+b"), nullptr);
        EXPECT_NE(files->Open("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", "rb"), nullptr);
        EXPECT_EQ(ReadText("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"), "old");
    }
    EXPECT_FALSE(files->MoveFile("C:\\WINDOWS\\SYSTEM\\MFC42.DLL", "C:\\WINDOWS\\SYSTEM\\MFC42.DLL"));
    EXPECT_TRUE(files->DeleteFile("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"));  // released
    EXPECT_FALSE(files->DeleteFile("C:\\WINDOWS\\SYSTEM\\MFC42.DLL"));
    EXPECT_FALSE(files->DeleteFile("C:\\WINDOWS\\SYSTEM"));  // a folder is no file
}

TEST(ShellLinkFile, IsADesktopEntryWithTheWindowsFieldsEscaped) {
    platform::ShellLinkData link;
    link.target = "C:\\Program Files\\Quorvix\\Korvane\\Korvane.exe";
    link.description = "two\nlines";
    const std::string text = platform::FormatShellLink("Korvane", link, "/m/drive_c/Program Files/Quorvix/Korvane/Korvane.exe",
                                                       "/m/drive_c/Program Files/Quorvix/Korvane");
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
    for (const char* line : {"Exec=\"/m/drive_c/Program Files/Quorvix/Korvane/Korvane.exe\"\n", "Name=Korvane\n",
                             "Comment=two\\nlines\n", "Path=/m/drive_c/Program Files/Quorvix/Korvane\n",
                             "X-Korvane-Target=C:\\\\Program Files\\\\Quorvix\\\\Korvane\\\\Korvane.exe\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
}

}  // namespace
}  // namespace korvane::installer::test
