// Start-up and shutdown: environment check, connection to the server, the menu, and
// the server reference released exactly once on every path.
#include "FakeDatabaseServer.h"
#include "MaintenanceApp.h"
#include "ProgramPath.h"
#include "ServerIds.h"
#include "Support.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char kOrvelKey[] = "SOFTWARE\\OrvelServer";
const char kServerPartKey[] = "SOFTWARE\\TamskServer";

void ClientOnlyInstallation()
{
    DeleteMachineKey(kOrvelKey);
    DeleteMachineKey(kServerPartKey);
    SetMachineString(kOrvelKey, "SystemType", "CS");
    SetMachineDword(kOrvelKey, "Mobile", 1);
}

// The application object with the menu replaced by a count, and OLE left to the test
// program (it is already running on this thread).
class TestApp : public MaintenanceApp {
public:
    int menus = 0;
    int serverRefsDuringMenu = -1;
    FakeDatabaseServer* fake = nullptr;

protected:
    void RunMenu() override
    {
        ++menus;
        if (fake)
            serverRefsDuringMenu = fake->refs;
    }
};

const std::string kClientOnly = Ansi(
    u8"このツールは、施工管理システムのクライアントのみがインストールされている環境で動作します。\nツールを終了します。");

}  // namespace

TEST(EnvironmentCheck, RowsOfTheInstallation)
{
    struct Case {
        const char* systemType;  // nullptr: value missing
        DWORD mobileType;        // REG_NONE: value missing
        const char* mobile;      // data for the Mobile value (4 bytes for REG_DWORD)
        bool serverPart;
        bool expected;
    };
    const DWORD one = 1, zero = 0;
    const Case cases[] = {
        /* 0 */ {"CS", REG_DWORD, reinterpret_cast<const char*>(&one), false, true},
        /* 1 */ {"cs", REG_DWORD, reinterpret_cast<const char*>(&one), false, true},
        /* 2 */ {"cS", REG_DWORD, reinterpret_cast<const char*>(&one), false, true},
        /* 3 */ {"CS ", REG_DWORD, reinterpret_cast<const char*>(&one), false, false},
        /* 4 */ {"CSS", REG_DWORD, reinterpret_cast<const char*>(&one), false, false},
        /* 5 */ {"SV", REG_DWORD, reinterpret_cast<const char*>(&one), false, false},
        /* 6 */ {nullptr, REG_DWORD, reinterpret_cast<const char*>(&one), false, false},
        /* 7 */ {"CS", REG_DWORD, reinterpret_cast<const char*>(&zero), false, false},
        /* 8 */ {"CS", REG_NONE, nullptr, false, false},
        /* 9 */ {"CS", REG_SZ, "1", false, false},
        /* 10 */ {"CS", REG_DWORD, reinterpret_cast<const char*>(&one), true, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        DeleteMachineKey(kOrvelKey);
        DeleteMachineKey(kServerPartKey);
        if (c.systemType)
            SetMachineString(kOrvelKey, "SystemType", c.systemType);
        if (c.mobileType == REG_DWORD)
            SetMachineValue(kOrvelKey, "Mobile", REG_DWORD, c.mobile, 4);
        else if (c.mobileType == REG_SZ)
            SetMachineString(kOrvelKey, "Mobile", c.mobile);
        if (c.serverPart)
            SetMachineString(kServerPartKey, "Version", "1");
        EXPECT_EQ(c.expected, MaintenanceApp::CheckEnvironment());
    }
    DeleteMachineKey(kServerPartKey);
}

TEST(Startup, NotClientOnlyEndsWithTheMessageAndNoServer)
{
    DeleteMachineKey(kOrvelKey);
    FakeDatabaseServer fake;
    FakeServerRegistration registration(&fake);
    MessageBoxRecorder boxes;
    TestApp app;
    EXPECT_EQ(FALSE, app.InitInstance());
    app.ExitInstance();
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(kClientOnly, boxes.Shown()[0].text) << Utf8(boxes.Shown()[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), boxes.Shown()[0].flags);  // the framework's icon
    EXPECT_EQ(std::string(app.Title()), boxes.Shown()[0].caption);
    EXPECT_EQ(0, registration.activations);
    EXPECT_EQ(0, app.menus);
}

TEST(Startup, UnregisteredServerClassShowsTheConnectionMessage)
{
    ClientOnlyInstallation();
    // The stand-in server may have been registered in this prefix by another test, and
    // one still running would be found without any registration.
    ASSERT_TRUE(WaitForNoServerProcess());
    wchar_t clsid[64];
    StringFromGUID2(CLSID_DatabaseServer, clsid, 64);
    std::wstring key = std::wstring(L"CLSID\\") + clsid;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    MessageBoxRecorder boxes;
    TestApp app;
    EXPECT_EQ(FALSE, app.InitInstance());
    EXPECT_EQ(nullptr, app.m_pServer);
    app.ExitInstance();
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(Ansi(u8"データベースへの接続に失敗しました。 -2147221164"), boxes.Shown()[0].text)
        << Utf8(boxes.Shown()[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), boxes.Shown()[0].flags);  // the framework's icon
    EXPECT_EQ(0, app.menus);
}

TEST(Startup, ConnectedRunsTheMenuThenReleasesTheServerOnce)
{
    ClientOnlyInstallation();
    FakeDatabaseServer fake;
    FakeServerRegistration registration(&fake);
    MessageBoxRecorder boxes;
    TestApp app;
    app.fake = &fake;
    EXPECT_EQ(FALSE, app.InitInstance());
    EXPECT_EQ(0u, boxes.Shown().size());
    EXPECT_EQ(1, app.menus);
    EXPECT_EQ(1, registration.activations);
    EXPECT_EQ(2, app.serverRefsDuringMenu);  // ours and the program's
    // The proxy security: no authentication, identify, no principal, no identity.
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ("SetBlanket(10,0,null,1,2,null,0)", fake.calls[0]);
    app.ExitInstance();
    EXPECT_EQ(nullptr, app.m_pServer);
    EXPECT_EQ(1, fake.refs);
    app.ExitInstance();  // a second shutdown finds nothing to release
    EXPECT_EQ(1, fake.refs);
}

TEST(Startup, ProxyThatCannotChangeSecurityIsStillUsed)
{
    ClientOnlyInstallation();
    FakeDatabaseServer fake;
    fake.blanketResult = E_NOTIMPL;
    FakeServerRegistration registration(&fake);
    MessageBoxRecorder boxes;
    TestApp app;
    app.InitInstance();
    EXPECT_EQ(0u, boxes.Shown().size());
    EXPECT_EQ(1, app.menus);
    app.ExitInstance();
    EXPECT_EQ(1, fake.refs);
}

TEST(Startup, SecurityFailureEndsWithItsCodeAndReleasesTheServerOnce)
{
    struct Case {
        HRESULT blanket;
        bool offerSecurity;
        const char* message;
    };
    const Case cases[] = {
        /* 0 */ {E_ACCESSDENIED, true, u8"データベースへの接続に失敗しました。 -2147024891"},
        /* 1 */ {S_OK, false, u8"データベースへの接続に失敗しました。 -2147467262"},  // not a proxy
    };
    for (const Case& c : cases) {
        ClientOnlyInstallation();
        FakeDatabaseServer fake;
        fake.blanketResult = c.blanket;
        fake.offerClientSecurity = c.offerSecurity;
        FakeServerRegistration registration(&fake);
        MessageBoxRecorder boxes;
        TestApp app;
        EXPECT_EQ(FALSE, app.InitInstance());
        EXPECT_EQ(0, app.menus);
        ASSERT_EQ(1u, boxes.Shown().size());
        EXPECT_EQ(Ansi(c.message), boxes.Shown()[0].text) << Utf8(boxes.Shown()[0].text);
        EXPECT_NE(nullptr, app.m_pServer);  // stored before the security step failed
        app.ExitInstance();
        EXPECT_EQ(1, fake.refs);
    }
}

// Runs inside a copy of this program placed in a folder named 𠮷田 by the next test: the
// settings files lie beside the program and above it, and their ANSI paths would name
// other files, so the tool says so, naming its place as it is, and ends.
TEST(PlacedProgram, AFolderTheCodePageCannotSpellEndsTheTool)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (!wcsstr(self, Utf16(u8"𠮷田").c_str()))
        GTEST_SKIP() << "runs only as the placed copy";
    ClientOnlyInstallation();
    MessageBoxRecorder boxes;
    TestApp app;
    EXPECT_EQ(FALSE, app.InitInstance());
    app.ExitInstance();
    ASSERT_EQ(1u, boxes.Shown().size());
    EXPECT_EQ(Ansi(u8"このツールの置き場所「") + Shown(self) +
                  Ansi(u8"」の名前には、このツールで使用できない文字が含まれています。\n"
                       u8"ツールを別のフォルダに置いてから起動してください。\nツールを終了します。"),
              boxes.Shown()[0].text);
    EXPECT_EQ(0, app.menus);
    char name[MAX_PATH];
    EXPECT_EQ(0, GetProgramFileName(name, sizeof name)) << "the program's name read as another";
}

TEST(Startup, AProgramFolderTheCodePageCannotSpell)
{
    const std::wstring folder = Utf16(Utf8(FullPath(TestFolder("placed"))).c_str()) + L"\\" + Utf16(u8"𠮷田");
    const std::wstring copy = folder + L"\\app_tests.exe";
    CreateDirectoryA(TestFolder("placed").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE)) << Shown(copy);
    const int code = RunProgram(L"\"" + copy + L"\" --gtest_filter=PlacedProgram.*", 60000);
    EXPECT_EQ(0, code) << "the placed copy's checks failed";
    RemoveTree(TestFolder("placed"));
}
