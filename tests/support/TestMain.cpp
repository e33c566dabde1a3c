// Entry point of every Windows test program: the thread is an OLE single-threaded
// apartment and the runtime's double-byte functions follow the ANSI code page, as in
// the tool.
#include <gtest/gtest.h>
#include <mbctype.h>
#include <ole2.h>

int main(int argc, char** argv)
{
    _setmbcp(_MB_CP_ANSI);
    OleInitialize(nullptr);
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    OleUninitialize();
    return rc;
}
