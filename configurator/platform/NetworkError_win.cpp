#include "NetworkError.h"

#include "WinText.h"

#include <winsock2.h>

namespace NetworkError {

Kind classify(int systemError)
{
    switch (systemError) {
    case WSAEINVAL:
        return Kind::BadSetting;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
        return Kind::NoSuchHost;
    case WSAECONNREFUSED:
        return Kind::Refused;
    case WSAETIMEDOUT:
        return Kind::TimedOut;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return Kind::Unreachable;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return Kind::Closed;
    default:
        return Kind::Other;
    }
}

std::string errorText(int systemError)
{
    // Winsock's codes are system error codes: FormatMessage knows them.
    return WinText::errorText(static_cast<unsigned long>(systemError));
}

} // namespace NetworkError
