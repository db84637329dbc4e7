#pragma once

#include "discovery/RequestSignature.h"

#include <string>
#include <string_view>

namespace pelorix
{

// Every request the program sends to the web service, built in one place: no caller
// assembles an address by hand. Addresses begin with "http://" and MasterHost().
struct WebRequest {
    std::string address;
    std::string userAgent;
};

// A value as it goes into a query: unchanged, except that '&', '#', '%', '+', a blank,
// control characters and bytes of 0x80 and above are percent-encoded.
std::string queryValue(std::string_view value);

WebRequest masterListRequest(const Signature &signature);   // "/vekta4list.php?s=" + n
WebRequest versionRequest();                                // "/info/ver.php?id=2&all=yes", "PELORIX"
WebRequest motdRequest(const std::string &address);         // the address in line 3 of the version reply
std::string installerAddress();                             // "/download/vekta4/PELORIX_install.exe"
WebRequest listingCheckRequest(const Signature &signature); // "/vekta4/vekta4list.php?s=" + n
WebRequest addServerRequest(std::string_view address, std::string_view port); // "PLX"
WebRequest deleteServerRequest(std::string_view password, std::string_view server, const Signature &signature);

} // namespace pelorix
