#include "NetworkError.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace NetworkError {

Kind classify(int systemError)
{
    switch (systemError) {
    case EINVAL:
        return Kind::BadSetting;
    case EAI_NONAME:
    case EAI_AGAIN:
    case EAI_FAIL:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return Kind::NoSuchHost;
    case ECONNREFUSED:
        return Kind::Refused;
    case ETIMEDOUT:
        return Kind::TimedOut;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return Kind::Unreachable;
    case ECONNRESET:
    case EPIPE:
        return Kind::Closed;
    default:
        return Kind::Other;
    }
}

std::string errorText(int systemError)
{
    // getaddrinfo's codes are negative and have texts of their own.
    return systemError < 0 ? gai_strerror(systemError) : std::strerror(systemError);
}

} // namespace NetworkError
