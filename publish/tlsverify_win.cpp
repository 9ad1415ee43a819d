#include "publish/tlsverify.h"

#include <windows.h>

namespace hmx {

// OpenSSL 3's libssl, as cmake/build-mosquitto-windows.sh puts it beside libmosquitto.dll;
// absent when libmosquitto was built without TLS.
long TlsVerifyResult(void* ssl)
{
    using VerifyResult = long (*)(const void*);
    const HMODULE libssl = ::GetModuleHandleW(L"libssl-3-x64.dll");
    if (!ssl || !libssl)
        return -1;
    const auto verifyResult = reinterpret_cast<VerifyResult>(
        reinterpret_cast<void*>(::GetProcAddress(libssl, "SSL_get_verify_result")));
    return verifyResult ? verifyResult(ssl) : -1;
}

} // namespace hmx
