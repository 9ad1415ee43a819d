#include "publish/tlsverify.h"

#include <openssl/ssl.h>

namespace hmx {

long TlsVerifyResult(void* ssl)
{
    return ssl ? SSL_get_verify_result(static_cast<const SSL*>(ssl)) : -1;
}

} // namespace hmx
