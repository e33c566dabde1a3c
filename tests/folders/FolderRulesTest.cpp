// The folder rules on given facts, and folder names from free text. Shift-JIS bytes are
// written out: 表 95 5C and ソ 83 5C end in the backslash byte.
#include "FolderRules.h"
#include "FolderTools.h"

#include <gtest/gtest.h>

namespace {
const std::string HYO = "\x95\x5C";
const std::string SO = "\x83\x5C";
}  // namespace

TEST(FolderRules, InsideTheProgramFolder)
{
    struct Case {
        std::string path;
        bool inside;
    };
    const std::string program = "D:\\Apps\\Tool\\";
    const Case cases[] = {
        /* 0 */ {"D:\\Apps\\Tool\\kamiwork", true},
        /* 1 */ {"D:\\Apps\\Tool\\", true},
        /* 2 */ {"D:\\Apps\\Tool", false},             // the folder itself needs its backslash
        /* 3 */ {"d:\\apps\\tool\\kamiwork", false},   // case counts
        /* 4 */ {"work", false},
        /* 5 */ {"X:\\copy of D:\\Apps\\Tool\\x", true}, // anywhere in the text
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.inside, IsInsideFolderText(c.path.c_str(), program.c_str())) << c.path;
    // A match never begins on the second byte of a character.
    const std::string kanjiProgram = "\\Tool\\";
    EXPECT_FALSE(IsInsideFolderText(("C:\\x" + HYO + "Tool\\a").c_str(), kanjiProgram.c_str()));
    EXPECT_TRUE(IsInsideFolderText(("C:\\" + HYO + "\\Tool\\a").c_str(), kanjiProgram.c_str()));
}

TEST(FolderRules, SystemFolders)
{
    const std::vector<std::string> list = {"C:\\Windows\\", "C:\\Program Files (x86)\\", "C:\\Program Files\\"};
    struct Case {
        std::string path;
        bool refused;
    };
    const Case cases[] = {
        /* 0 */ {"C:\\Windows", true},
        /* 1 */ {"C:\\Windows\\", true},
        /* 2 */ {"c:\\windows\\temp", true},
        /* 3 */ {"C:\\Windows2", false},
        /* 4 */ {"C:\\WindowsBackup", false},
        /* 5 */ {"C:/Windows", false},                 // separators are not normalised
        /* 6 */ {"C:\\PROGRAM FILES\\Other", true},
        /* 7 */ {"C:\\Program Files (x86)\\Tool", true},
        /* 8 */ {"C:\\Program", false},
        /* 9 */ {"C:\\", false},
        /* 10 */ {"work", false},
        /* 11 */ {"C:\\Window" + HYO, false},            // a double-byte character is not "s\"
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.refused, IsUnderSystemFolder(c.path.c_str(), list)) << c.path;
    // Without %ProgramW6432% only two entries exist.
    EXPECT_FALSE(IsUnderSystemFolder("C:\\Program Files\\Other", {"C:\\Windows\\", "C:\\Program Files (x86)\\"}));
    // A kanji folder under a kanji system folder, in another case of its ASCII letters.
    EXPECT_TRUE(IsUnderSystemFolder(("c:\\" + HYO + "\\x").c_str(), {"C:\\" + HYO + "\\"}));
}

TEST(FolderRules, ProfileRoot)
{
    EXPECT_EQ("C:\\Users", ProfileRootOf("C:\\Users\\taro\\Desktop"));
    EXPECT_EQ("C:\\" + SO + HYO, ProfileRootOf(("C:\\" + SO + HYO + "\\taro\\Desktop").c_str()));
    // A desktop directly below a drive root: the desktop itself, not an empty root that
    // every path would contain.
    EXPECT_EQ("D:\\Desktop", ProfileRootOf("D:\\Desktop"));
    // A desktop redirected to a share: the share, not "\\" (which every path holds).
    EXPECT_EQ("\\\\server\\home", ProfileRootOf("\\\\server\\home\\taro\\Desktop"));
    EXPECT_EQ("\\\\server", ProfileRootOf("\\\\server"));
}

// The names a BOOK folder may take: only those Windows keeps exactly as written for a
// new folder inside the destination.
TEST(FolderNames, PlainFolderNames)
{
    struct Case {
        std::string name;
        bool plain;
    };
    const Case cases[] = {
        /* 0 */ {"\x8D\x91\x93\xB9", true},  // 国道
        /* 1 */ {"BOOK0101", true},
        /* 2 */ {HYO + SO + "\x94\x5C", true},  // 表ソ能: trail bytes 0x5C are not separators
        /* 3 */ {"\x83\x7C" "x", true},        // ポ: trail byte 0x7C is not a bar
        /* 4 */ {" lead blank", true},
        /* 5 */ {"NULL", true},
        /* 6 */ {"COM10", true},
        /* 7 */ {"LPT0", true},
        /* 8 */ {"CONSOLE.txt", true},
        /* 9 */ {"", false},
        /* 10 */ {".", false},
        /* 11 */ {"..", false},
        /* 12 */ {"...", false},
        /* 13 */ {" ", false},
        /* 14 */ {". .", false},
        /* 15 */ {"\x8D\x91\x93\xB9.", false},  // 国道. is 国道
        /* 16 */ {"site ", false},
        /* 17 */ {"CON", false},
        /* 18 */ {"prn", false},
        /* 19 */ {"Aux", false},
        /* 20 */ {"NUL.txt", false},
        /* 21 */ {"nul .txt", false},
        /* 22 */ {"COM1", false},
        /* 23 */ {"com9.log", false},
        /* 24 */ {"LPT1", false},
        /* 25 */ {"lpt9", false},
        /* 26 */ {"CONIN$", false},
        /* 27 */ {"a\tb", false},      // control character
        /* 28 */ {"a:b", false},
        /* 29 */ {"x" + HYO.substr(0, 1), false},  // ends in half a character
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].plain, IsPlainFolderName(cases[i].name.c_str())) << "case " << i << ": " << cases[i].name;
}

// A path Windows reads as another is no path the user picked.
TEST(FolderNames, PathsWindowsTakesAsWritten)
{
    const struct {
        std::string path;
        bool asWritten;
    } cases[] = {
        /* 0 */ {"E:\\backup\\" + HYO, true},
        /* 1 */ {"E:\\", true},
        /* 2 */ {"\\\\server\\share\\x", true},
        /* 3 */ {"work\\..\\.\\b", true},
        /* 4 */ {"\\\\?\\E:\\b", true},
        /* 5 */ {"E:\\backup.", false},
        /* 6 */ {"E:\\backup.\\site\\BOOK0101.mdf", false},
        /* 7 */ {"E:\\backup \\x", false},
        /* 8 */ {"E:\\x\\CON", false},
        /* 9 */ {"E:/x/aux.txt/y", false},
        /* 10 */ {"E:\\x" + SO + ".", false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].asWritten, IsPathAsWritten(cases[i].path.c_str())) << "case " << i << ": " << cases[i].path;
}

TEST(FolderNames, CutAtTheFirstCharacterNamesMayNotHold)
{
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        /* 0 */ {"\xE5\xB7\xA5\xE4\xBA\x8B" "A/B", "\xE5\xB7\xA5\xE4\xBA\x8B" "A"},
        /* 1 */ {"a:b*c", "a"},
        /* 2 */ {"?x", ""},
        /* 3 */ {"plain name", "plain name"},
        /* 4 */ {HYO + SO + HYO, HYO + SO + HYO},        // 0x5C trail bytes are not backslashes
        /* 5 */ {"x" + HYO + "|y", "x" + HYO},
        /* 6 */ {"\x83\x7C" "a|b", "\x83\x7C" "a"},        // ポ: trail byte 0x7C is not a bar
        /* 7 */ {"a<b>c\"d", "a"},
        /* 8 */ {"z\\y/x", "z"},
        /* 9 */ {"", ""},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        char out[128];
        TruncateAtInvalidNameChar(cases[i].text.c_str(), out, sizeof out);
        EXPECT_EQ(cases[i].expected, out) << "case " << i;
    }
}

TEST(FolderRules, DriveRootTexts)
{
    for (const char* root : {"C:\\", "C:", "e:\\", "Z:"})
        EXPECT_TRUE(IsDriveRootText(root)) << root;
    for (const char* other : {"C:\\x", "C:\\\\", "\\\\server\\share", "work", "", "1:\\", "CC:\\"})
        EXPECT_FALSE(IsDriveRootText(other)) << other;
}

// A full path against the volume path the system gives for it: a root or a mount point,
// written with or without its closing backslash; a folder below one is neither.
TEST(FolderRules, VolumeRootTexts)
{
    const struct {
        std::string full, volume;
        bool root;
    } cases[] = {
        /* 0 */ {"C:\\", "C:\\", true},
        /* 1 */ {"c:\\", "C:\\", true},
        /* 2 */ {"C:\\mnt\\disk", "C:\\mnt\\disk\\", true},  // a volume mounted on a folder
        /* 3 */ {"C:\\MNT\\Disk\\", "C:\\mnt\\disk\\", true},
        /* 4 */ {"C:\\mnt\\disk\\x", "C:\\mnt\\disk\\", false},
        /* 5 */ {"C:\\mnt", "C:\\", false},
        /* 6 */ {"C:\\" + HYO, "C:\\" + HYO + "\\", true},  // 表 ends in the byte of a backslash
        /* 7 */ {"C:\\" + HYO, "C:\\", false},
        /* 8 */ {"", "C:\\", false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].root, IsVolumeRootText(cases[i].full.c_str(), cases[i].volume.c_str())) << "case " << i;
}
