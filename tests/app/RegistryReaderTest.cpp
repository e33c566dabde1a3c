// The registry value reader: splitting a full path, reading text and numbers, and the
// limits of its 260-byte buffer.
#include "RegistryReader.h"
#include "Support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;

namespace {
const char kTestKey[] = "Software\\OrvelClientToolTests";

void SetUserValue(const char* subKey, const char* name, DWORD type, const void* data, DWORD size)
{
    SetRegistryValue(HKEY_CURRENT_USER, subKey, name, type, data, size);
}
}  // namespace

TEST(RegistryPath, SplitsAtTheFirstAndLastBackslash)
{
    struct Case {
        const char* path;  // UTF-8
        const char* root;
        const char* subKey;
        const char* value;
    };
    const Case cases[] = {
        /* 0 */ {"HKEY_LOCAL_MACHINE\\SOFTWARE\\OrvelServer\\SystemType", "HKEY_LOCAL_MACHINE",
                 "SOFTWARE\\OrvelServer", "SystemType"},
        /* 1 */ {"HKEY_CURRENT_USER\\Name", "HKEY_CURRENT_USER", "", "Name"},
        /* 2 */ {"HKEY_CURRENT_USER\\Software\\Key\\", "HKEY_CURRENT_USER", "Software\\Key", ""},
        /* 3 */ {"NoBackslash", "", "", "NoBackslash"},
        /* 4 */ {"\\Value", "", "", "Value"},
        // 表 and ソ end in the byte 0x5C: never a separator.
        /* 5 */ {u8"HKEY_CURRENT_USER\\工程表\\ソフト表", "HKEY_CURRENT_USER", u8"工程表", u8"ソフト表"},
        /* 6 */ {u8"HKEY_USERS\\表\\ソ\\表ソ", "HKEY_USERS", u8"表\\ソ", u8"表ソ"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i) + ": " + c.path);
        char root[260], subKey[260], value[260];
        SplitRegistryPath(Ansi(c.path).c_str(), root, subKey, value, 260);
        EXPECT_EQ(Ansi(c.root), root);
        EXPECT_EQ(Ansi(c.subKey), subKey);
        EXPECT_EQ(Ansi(c.value), value);
    }
}

TEST(RegistryPath, PartsLongerThanTheirBufferAreCutWhole)
{
    std::string path = "HKEY_USERS\\" + std::string(300, 'k') + "\\" + Ansi(u8"値") + std::string(300, 'v');
    char root[260], subKey[260], value[260];
    SplitRegistryPath(path.c_str(), root, subKey, value, 260);
    EXPECT_EQ(259u, std::strlen(subKey));
    EXPECT_EQ(259u, std::strlen(value));
    EXPECT_EQ(Ansi(u8"値"), std::string(value, 2));
    // An odd buffer size must not split 値 in half.
    SplitRegistryPath(path.c_str(), root, subKey, value, 2);
    EXPECT_STREQ("", value);
}

TEST(RegistryRead, TextValues)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    const std::string k = kTestKey;
    std::string text259(259, 'a'), text260(260, 'b');
    SetUserValue(kTestKey, "Text", REG_SZ, "Orvel", 6);
    SetUserValue(kTestKey, "Kanji", REG_SZ, Ansi(u8"工程表").c_str(), 7);
    SetUserValue(kTestKey, "Long259", REG_SZ, text259.c_str(), 260);
    SetUserValue(kTestKey, "Long260", REG_SZ, text260.c_str(), 261);
    SetUserValue(kTestKey, "", REG_SZ, "default", 8);
    DWORD number = 0x00434241;  // "ABC" then a zero byte
    SetUserValue(kTestKey, "Number", REG_DWORD, &number, 4);
    std::string binary(260, 'x');  // fills the buffer with no terminator
    SetUserValue(kTestKey, "Unterminated", REG_BINARY, binary.data(), 260);
    SetUserValue("", "AtRoot", REG_SZ, "root value", 11);

    struct Case {
        std::string path;
        int result;
        std::string text;  // expected text on success
    };
    const Case cases[] = {
        /* 0 */ {"HKEY_CURRENT_USER\\" + k + "\\Text", 1, "Orvel"},
        /* 1 */ {"HKEY_CURRENT_USER\\" + k + "\\Kanji", 1, Ansi(u8"工程表")},
        /* 2 */ {"HKEY_CURRENT_USER\\" + k + "\\Long259", 1, text259},
        /* 3 */ {"HKEY_CURRENT_USER\\" + k + "\\Long260", 0, ""},
        /* 4 */ {"HKEY_CURRENT_USER\\" + k + "\\", 1, "default"},
        /* 5 */ {"HKEY_CURRENT_USER\\" + k + "\\Number", 1, "ABC"},
        /* 6 */ {"HKEY_CURRENT_USER\\" + k + "\\Unterminated", 0, ""},
        /* 7 */ {"HKEY_CURRENT_USER\\" + k + "\\Missing", 0, ""},
        /* 8 */ {"HKEY_CURRENT_USER\\" + k + "Missing\\Text", 0, ""},
        /* 9 */ {"hkey_current_user\\" + k + "\\Text", 0, ""},
        /* 10 */ {"HKCU\\" + k + "\\Text", 0, ""},
        /* 11 */ {"HKEY_CURRENT_CONFIG\\" + k + "\\Text", 0, ""},
        /* 12 */ {"HKEY_CURRENT_USER\\AtRoot", 1, "root value"},
        /* 13 */ {"\\" + k + "\\Text", 0, ""},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i) + ": " + c.path);
        char result[260];
        std::strcpy(result, "unchanged");
        DWORD handles = HandleCount();
        EXPECT_EQ(c.result, ReadRegistryString(c.path.c_str(), result, sizeof result));
        EXPECT_EQ(handles, HandleCount()) << "a key was left open";
        EXPECT_EQ(c.result ? c.text : std::string("unchanged"), result);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    HKEY root;
    RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_WRITE, &root);
    RegDeleteValueA(root, "AtRoot");
    RegCloseKey(root);
}

// The system's installer is 32-bit: its values are in the 32-bit view, and a 64-bit
// build of the tool must read them there, not the 64-bit view's values of the same name.
TEST(RegistryRead, MachineKeysAreReadInThe32BitView)
{
    if (InTestKit())
        GTEST_SKIP() << "the machine's two registry views need HKLM itself, which the kit's user may not write";
    const char sub[] = "SOFTWARE\\OrvelClientToolViewTest";
    DeleteMachineKey(sub, KEY_WOW64_32KEY);
    DeleteMachineKey(sub, KEY_WOW64_64KEY);
    DWORD one = 1, two = 2;
    SetRegistryValue(HKEY_LOCAL_MACHINE, sub, "Text", REG_SZ, "32-bit", 7, KEY_WOW64_32KEY);
    SetRegistryValue(HKEY_LOCAL_MACHINE, sub, "Number", REG_DWORD, &one, 4, KEY_WOW64_32KEY);
    SetRegistryValue(HKEY_LOCAL_MACHINE, sub, "Text", REG_SZ, "64-bit", 7, KEY_WOW64_64KEY);
    SetRegistryValue(HKEY_LOCAL_MACHINE, sub, "Number", REG_DWORD, &two, 4, KEY_WOW64_64KEY);
    SetRegistryValue(HKEY_LOCAL_MACHINE, sub, "Only64", REG_SZ, "64-bit", 7, KEY_WOW64_64KEY);
    const std::string k = std::string("HKEY_LOCAL_MACHINE\\") + sub + "\\";
    char text[260] = "";
    EXPECT_EQ(1, ReadRegistryString((k + "Text").c_str(), text, sizeof text));
    EXPECT_STREQ("32-bit", text);
    DWORD number = 0;
    EXPECT_EQ(1, ReadRegistryNumber((k + "Number").c_str(), &number));
    EXPECT_EQ(1u, number);
    EXPECT_EQ(0, ReadRegistryString((k + "Only64").c_str(), text, sizeof text)) << "read the 64-bit view";
    DeleteMachineKey(sub, KEY_WOW64_32KEY);
    DeleteMachineKey(sub, KEY_WOW64_64KEY);
}

TEST(RegistryRead, NumberValuesTakeTheRawBytes)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    const std::string k = std::string("HKEY_CURRENT_USER\\") + kTestKey + "\\";
    DWORD one = 1;
    SetUserValue(kTestKey, "One", REG_DWORD, &one, 4);
    SetUserValue(kTestKey, "Short", REG_SZ, "1", 2);
    SetUserValue(kTestKey, "Four", REG_SZ, "123", 4);
    SetUserValue(kTestKey, "Five", REG_SZ, "1234", 5);

    struct Case {
        const char* name;
        int result;
        DWORD value;
    };
    const Case cases[] = {
        /* 0 */ {"One", 1, 1},
        /* 1 */ {"Short", 1, 0x0031},      // the bytes '1', 0 - not the number one
        /* 2 */ {"Four", 1, 0x00333231},
        /* 3 */ {"Five", 0, 0},
        /* 4 */ {"Missing", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD value = 0;
        DWORD handles = HandleCount();
        EXPECT_EQ(c.result, ReadRegistryNumber((k + c.name).c_str(), &value));
        EXPECT_EQ(handles, HandleCount()) << "a key was left open";
        if (c.result) {
            EXPECT_EQ(c.value, value);
        }
    }
    DWORD value = 0;
    EXPECT_EQ(0, ReadRegistryNumber(("hkey_current_user\\" + std::string(kTestKey) + "\\One").c_str(), &value));
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
}
