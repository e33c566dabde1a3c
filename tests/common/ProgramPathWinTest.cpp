// The text helpers on Windows: the system's code-page table agrees with the one the
// native build uses, and the paths of the running program.
#include "MbText.h"
#include "ProgramPath.h"
#include "Support.h"

#include <gtest/gtest.h>

TEST(LeadBytes, TheSystemCodePageIs932AndAgreesWithTheTable)
{
    ASSERT_EQ(932u, GetACP()) << "the tests need Wine's ANSI code page to be Shift-JIS";
    for (int c = 0; c < 256; ++c) {
        bool table = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        EXPECT_EQ(table, IsLeadByte(static_cast<unsigned char>(c))) << "byte " << c;
    }
}

TEST(ProgramPathWin, FilesOfTheRunningProgram)
{
    std::string folder = testsupport::ProgramFolder();  // ...\bin\ of this test program
    char out[kPathBufferSize];
    ASSERT_EQ(1, ProgramFolderFile("Dbaccess", "ini", out, sizeof out));
    EXPECT_EQ(folder + "Dbaccess.ini", out);
    ASSERT_EQ(1, ProgramParentFolderFile("RariveMenu", "ini", out, sizeof out));
    std::string above = folder.substr(0, folder.size() - 1);
    above = above.substr(0, above.find_last_of('\\') + 1);
    EXPECT_EQ(above + "RariveMenu.ini", out);
}
