#pragma once
// How the ANT library gets its byte line: a function that opens stick number
// usbDeviceNum at a baud rate and returns the line, or why it could not.

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "antlink/AntTypes.h"
#include "antlink/ByteTransport.h"

namespace fota::ant {

struct OpenedTransport {
    OpenedTransport() = default;
    // Lets an opener simply return the transport it made (or nullptr).
    template <std::derived_from<ByteTransport> T>
    OpenedTransport(std::unique_ptr<T> t) : transport(std::move(t)) {}
    OpenedTransport(std::nullptr_t) {}

    static OpenedTransport failure(std::string why) {
        OpenedTransport r;
        r.error = std::move(why);
        return r;
    }

    std::unique_ptr<ByteTransport> transport;  // null on failure
    std::string error;                         // what went wrong, for the user
};

using TransportOpener = std::function<OpenedTransport(UCHAR usbDeviceNum, ULONG baudrate)>;

}  // namespace fota::ant
