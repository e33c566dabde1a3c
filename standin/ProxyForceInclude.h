/* The proxy/stub code is C; mingw-w64's unknwn.h declares these three helpers for C++
   only. Declared here, ahead of everything, without rpcproxy.h. */
#ifndef ORVEL_PROXY_FORCE_INCLUDE_H
#define ORVEL_PROXY_FORCE_INCLUDE_H
#include <windows.h>
#include <unknwn.h>
#ifndef __cplusplus
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);
#endif
#endif
