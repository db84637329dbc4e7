#include "platform/InstanceRequest.h"

#include <cstdint>

namespace pelorix
{

namespace
{

constexpr std::size_t kBodyLimit = kInstanceRequestLimit - kInstanceRequestHeaderSize;

InstanceRequest invalid()
{
    return {InstanceRequest::Status::Invalid, {}};
}

} // namespace

std::string encodeInstanceRequest(const std::vector<std::string> &arguments)
{
    std::string body;
    std::size_t count = 0;
    for (const auto &argument : arguments) {
        const std::string_view text = std::string_view(argument).substr(0, argument.find('\0'));
        if (count == kInstanceRequestMaxArguments || body.size() + text.size() + 1 > kBodyLimit)
            break;
        body.append(text);
        body.push_back('\0');
        ++count;
    }
    const auto size = static_cast<std::uint32_t>(body.size());
    std::string request;
    request.reserve(kInstanceRequestHeaderSize + body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        request.push_back(static_cast<char>((size >> shift) & 0xFF));
    return request + body;
}

InstanceRequest readInstanceRequest(std::string_view received)
{
    if (received.size() < kInstanceRequestHeaderSize)
        return {};
    std::uint32_t size = 0;
    for (std::size_t i = 0; i < kInstanceRequestHeaderSize; ++i)
        size = (size << 8) | static_cast<unsigned char>(received[i]);
    if (size > kBodyLimit)
        return invalid();
    const std::string_view body = received.substr(kInstanceRequestHeaderSize);
    if (body.size() > size)
        return invalid();
    if (body.size() < size)
        return {};
    if (!body.empty() && body.back() != '\0')
        return invalid();

    InstanceRequest request;
    std::size_t start = 0;
    while (start < body.size()) {
        if (request.arguments.size() == kInstanceRequestMaxArguments)
            return invalid();
        const std::size_t end = body.find('\0', start);
        request.arguments.emplace_back(body.substr(start, end - start));
        start = end + 1;
    }
    request.status = InstanceRequest::Status::Complete;
    return request;
}

} // namespace pelorix
