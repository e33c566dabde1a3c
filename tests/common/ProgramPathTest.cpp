// Paths of the settings files, derived from the program's own file name.
#include "ProgramPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const char HYO[] = "\x95\x5C";  // 表, trail byte 0x5C
}

TEST(ProgramPath, TheFolderAboveTheProgram)
{
    struct Case {
        std::string program;
        std::string expected;
    };
    const Case cases[] = {
        /* 0 */ {"C:\\Sys\\Tools\\tool.exe", "C:\\Sys\\RariveMenu.ini"},
        /* 1 */ {"C:\\A\\B\\C\\tool.exe", "C:\\A\\B\\RariveMenu.ini"},
        // A program in a drive root or directly below one: the drive root, never a
        // path relative to the current directory.
        /* 2 */ {"C:\\Tools\\tool.exe", "C:\\RariveMenu.ini"},
        /* 3 */ {"C:\\tool.exe", "C:\\RariveMenu.ini"},
        // 表 ends in 0x5C: the folder 工程表 is not cut after its last byte.
        /* 4 */ {std::string("D:\\") + HYO + "\\" + HYO + "\\t.exe",
                 std::string("D:\\") + HYO + "\\RariveMenu.ini"},
        /* 5 */ {std::string("D:\\x\\a") + HYO + "\\t.exe", "D:\\x\\RariveMenu.ini"},
        /* 6 */ {"\\\\server\\share\\sys\\tools\\t.exe", "\\\\server\\share\\sys\\RariveMenu.ini"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i) + ": " + cases[i].program);
        char out[kPathBufferSize];
        EXPECT_EQ(1, ParentFolderFile(cases[i].program.c_str(), "RariveMenu", "ini", out, sizeof out));
        EXPECT_EQ(cases[i].expected, out);
    }
}

TEST(ProgramPath, BesideTheProgram)
{
    char out[kPathBufferSize];
    EXPECT_EQ(1, ProgramFolderFile("C:\\Sys\\Tools\\tool.exe", "Dbaccess", "ini", out, sizeof out));
    EXPECT_STREQ("C:\\Sys\\Tools\\Dbaccess.ini", out);
    EXPECT_EQ(1, ProgramFolderFile((std::string("C:\\") + HYO + "\\t.exe").c_str(), "Dbaccess", "ini",
                                   out, sizeof out));
    EXPECT_EQ(std::string("C:\\") + HYO + "\\Dbaccess.ini", out);
}

TEST(ProgramPath, NothingLongerThanTheBufferIsMade)
{
    // The program's name fits in 259 bytes, the settings file beside it would not.
    std::string program = "C:\\" + std::string(240, 'd') + "\\" + std::string(10, 'p') + ".exe";
    ASSERT_LT(program.size(), 260u);
    char out[kPathBufferSize];
    EXPECT_EQ(0, ProgramFolderFile(program.c_str(), "Dbaccess_long_name", "ini", out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_EQ(0, ParentFolderFile(std::string(300, 'x').c_str(), "RariveMenu", "ini", out, sizeof out));
    EXPECT_STREQ("", out);
    char small[16];
    EXPECT_EQ(0, ParentFolderFile("C:\\Sys\\Tools\\tool.exe", "RariveMenu", "ini", small, sizeof small));
}

TEST(ProgramPath, SplitLikeTheRuntime)
{
    PathParts parts;
    SplitPath("C:\\Sys\\Tools\\tool.v2.exe", &parts);
    EXPECT_STREQ("C:", parts.drive);
    EXPECT_STREQ("\\Sys\\Tools\\", parts.dir);
    EXPECT_STREQ("tool.v2", parts.name);
    EXPECT_STREQ(".exe", parts.ext);
    SplitPath("noext", &parts);
    EXPECT_STREQ("", parts.drive);
    EXPECT_STREQ("", parts.dir);
    EXPECT_STREQ("noext", parts.name);
    EXPECT_STREQ("", parts.ext);
}
