#include "MessageFilter.h"

#include <ole2.h>

namespace winui {
namespace {

DWORD g_pendingDelay = 8000;

class Filter final : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
            *ppv = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: its lifetime is the program's.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override
    {
        return SERVERCALL_ISHANDLED;
    }

    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) override
    {
        // A rejected call is never retried; a busy server is asked again every 100 ms.
        if (rejectType == SERVERCALL_REJECTED || elapsed >= g_pendingDelay)
            return static_cast<DWORD>(-1);
        return 100;
    }

    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override
    {
        // Paint and timer messages are processed; keyboard and mouse input waits.
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

Filter g_filter;
IMessageFilter* g_previous = nullptr;
bool g_installed = false;

}  // namespace

void InstallMessageFilter()
{
    if (g_installed)
        return;
    if (SUCCEEDED(CoRegisterMessageFilter(&g_filter, &g_previous)))
        g_installed = true;
}

void RemoveMessageFilter()
{
    if (!g_installed)
        return;
    IMessageFilter* ours = nullptr;
    CoRegisterMessageFilter(g_previous, &ours);
    if (g_previous)
        g_previous->Release();
    g_previous = nullptr;
    g_installed = false;
}

void SetMessagePendingDelay(DWORD ms) { g_pendingDelay = ms; }

}  // namespace winui
