// Feeds arbitrary bytes to the single-instance request reader, whole and as they might arrive in pieces.

#include "platform/InstanceRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using pelorix::InstanceRequest;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    bool finished = false;
    // Every prefix is what the window may have received so far; once a prefix is complete or invalid, the
    // peer is done with, so longer prefixes are never read.
    for (std::size_t length = 0; length <= bytes.size() && !finished; ++length) {
        const InstanceRequest read = pelorix::readInstanceRequest(bytes.substr(0, length));
        if (read.status == InstanceRequest::Status::Incomplete) {
            if (!read.arguments.empty() || length > pelorix::kInstanceRequestLimit)
                std::abort();
            continue;
        }
        finished = true;
        if (read.status != InstanceRequest::Status::Complete)
            continue;
        if (length > pelorix::kInstanceRequestLimit || read.arguments.size() > pelorix::kInstanceRequestMaxArguments)
            std::abort();
        // A complete request says the same once written again.
        const InstanceRequest again = pelorix::readInstanceRequest(pelorix::encodeInstanceRequest(read.arguments));
        if (again.status != InstanceRequest::Status::Complete || again.arguments != read.arguments)
            std::abort();
    }
    return 0;
}
