#include "discovery/WebRequests.h"

#include "core/MasterHost.h"

namespace pelorix
{

namespace
{

constexpr char kServiceAgent[] = "PELORIX";
constexpr char kAddServerAgent[] = "PLX";

std::string serviceAddress(std::string_view pathAndQuery)
{
    std::string address = "http://" + MasterHost();
    address += pathAndQuery;
    return address;
}

bool needsEscape(unsigned char c)
{
    return c < 0x20 || c >= 0x7F || c == '&' || c == '#' || c == '%' || c == '+' || c == ' ';
}

} // namespace

std::string queryValue(std::string_view value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (needsEscape(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

WebRequest masterListRequest(const Signature &signature)
{
    return {serviceAddress("/vekta4list.php?s=" + std::to_string(signature.number)), signature.signature};
}

WebRequest versionRequest()
{
    return {serviceAddress("/info/ver.php?id=2&all=yes"), kServiceAgent};
}

WebRequest motdRequest(const std::string &address)
{
    return {address, kServiceAgent};
}

std::string installerAddress()
{
    return serviceAddress("/download/vekta4/PELORIX_install.exe");
}

WebRequest listingCheckRequest(const Signature &signature)
{
    return {serviceAddress("/vekta4/vekta4list.php?s=" + std::to_string(signature.number)), signature.signature};
}

WebRequest addServerRequest(std::string_view address, std::string_view port)
{
    return {serviceAddress("/vekta4/vekta4add.php?server=" + queryValue(address) + ":" + queryValue(port)),
            kAddServerAgent};
}

WebRequest deleteServerRequest(std::string_view password, std::string_view server, const Signature &signature)
{
    return {serviceAddress("/vekta4/vekta4delete.php?pwd=" + queryValue(password) + "&server=" + queryValue(server) +
                           "&s=" + std::to_string(signature.number)),
            signature.signature};
}

} // namespace pelorix
