// Identity of the database server component: the class the tool activates and the
// host it names. The interface identifier comes with the interface definition.
#pragma once
#include <windows.h>

// {4c4c750c-b448-4324-a6f7-03c82272d232}
inline const CLSID CLSID_DatabaseServer = {
    0x4c4c750c, 0xb448, 0x4324, {0xa6, 0xf7, 0x03, 0xc8, 0x22, 0x72, 0xd2, 0x32}};

// The component runs on the PC itself.
inline const wchar_t kDatabaseServerHost[] = L"127.0.0.1";
