// A server address as a client hands it to the reference master-list service.

#include "FuzzSupport.h"

#include "ServerAddress.h"

using namespace pelorix;
using namespace pelorix::master;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);
    const std::optional<ServerAddress> address = parseServerAddress(text);
    if (!address)
        return 0;
    // One text for every server: an accepted address is exactly the text it prints as.
    fuzz::require(address->text() == text, "an accepted address that does not print as its own text");
    fuzz::require(address->port >= 1 && address->port <= 65535, "a port outside 1..65535");
    return 0;
}
