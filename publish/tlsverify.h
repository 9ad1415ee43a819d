// What OpenSSL's verification of the broker's certificate found on a TLS connection that
// failed: from the OpenSSL libmosquitto uses (linked on Linux; on Windows looked up in the
// DLL libmosquitto loaded, whose headers the cross-build does not keep).
#pragma once

namespace hmx {

// OpenSSL's X509_V_* code of `ssl` (an SSL*, from mosquitto_ssl_get); -1 when unknown.
long TlsVerifyResult(void* ssl);

} // namespace hmx
