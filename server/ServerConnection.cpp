#include "ServerConnection.h"

#include "ServerIds.h"

HRESULT ConnectDatabaseServer(DatabaseServer** slot)
{
    *slot = nullptr;
    COSERVERINFO info = {};
    info.pwszName = const_cast<LPWSTR>(kDatabaseServerHost);
    MULTI_QI qi = {&IID_DatabaseServer, nullptr, S_OK};
    HRESULT hr = CoCreateInstanceEx(CLSID_DatabaseServer, nullptr, CLSCTX_SERVER, &info, 1, &qi);
    if (FAILED(hr))
        return hr;
    if (FAILED(qi.hr)) {
        // No interface came back: reporting the call's success would start the menu
        // with no server behind it.
        if (qi.pItf)
            qi.pItf->Release();
        return qi.hr;
    }
    *slot = static_cast<DatabaseServer*>(qi.pItf);
    hr = CoSetProxyBlanket(*slot, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_NONE, RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE);
    // A proxy that cannot change its security keeps its default security and works.
    if (hr == E_NOTIMPL)
        hr = S_OK;
    return hr;
}

int ReleaseDatabaseServer(DatabaseServer** slot)
{
    if (*slot) {
        (*slot)->Release();
        *slot = nullptr;
    }
    return 1;
}

bool IsConnectionLost(long code)
{
    switch (static_cast<HRESULT>(code)) {
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):  // 0x800706BA
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):         // 0x800706BE
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):     // 0x800706BF
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case CO_E_OBJNOTCONNECTED:
        return true;
    default:
        return false;
    }
}

bool NeverReachedServer(long code)
{
    switch (static_cast<HRESULT>(code)) {
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):  // 0x800706BA
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):     // 0x800706BF: "did not execute"
    case RPC_E_DISCONNECTED:
    case CO_E_OBJNOTCONNECTED:
        return true;
    default:
        return false;
    }
}
