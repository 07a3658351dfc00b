#include "Line.h"

#include <new>

namespace kavu {

bool Line::open(const char* device, const platform::LineSettings& settings) {
    close();
    if (net::isNetworkName(device)) {
        net::Address address;
        if (!net::parseAddress(device, address)) {
            platform::setLastOpenError(platform::socketInvalidError());
            return false;
        }
        auto* net = new (std::nothrow) NetLine(address, settings);
        int error = 0;
        if (net == nullptr || !net->connect(&error)) {
            platform::setLastOpenError(net == nullptr ? platform::socketInvalidError() : error);
            delete net;
            return false;
        }
        platform::setLastOpenError(0);
        net_ = net;
        return true;
    }
    serial_ = platform::serialOpen(device);
    if (serial_ == nullptr) return false;
    if (!platform::serialConfigure(serial_, settings)) {
        close();
        return false;
    }
    return true;
}

void Line::close() {
    platform::serialClose(serial_);
    serial_ = nullptr;
    delete net_;
    net_ = nullptr;
}

bool Line::setTimeouts(const platform::Timeouts& timeouts) {
    if (serial_ != nullptr) return platform::serialSetTimeouts(serial_, timeouts);
    if (net_ == nullptr) return false;
    net_->setTimeouts(timeouts);
    return true;
}

}  // namespace kavu
