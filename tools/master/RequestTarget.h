#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace pelorix::master
{

// The parts of a request target that the service reads. The target may be in origin form
// ("/vekta4list.php?s=5") or, when the client talks through a proxy, in absolute form
// ("http://host:port/vekta4list.php?s=5").
struct RequestTarget {
    std::string path;                              // as sent, not decoded
    std::multimap<std::string, std::string> query; // names and values percent-decoded

    // The first value of a name; empty when the name is absent.
    std::string value(const std::string &name) const;
    bool has(const std::string &name) const { return query.count(name) > 0; }
};

RequestTarget parseRequestTarget(std::string_view target);

// %XX sequences become their byte; a '%' not followed by two hex digits stays as it is. A '+' stays a '+':
// clients that send values as typed put a literal plus sign into passwords.
std::string percentDecode(std::string_view text);

// The target for the log: the value of every parameter whose name decodes to "pwd" (in any letter case) is
// blanked out, whatever way the name was encoded; bytes outside printable ASCII, blanks, quotes and
// backslashes are written as %XX; the result is cut to maxLength characters, "..." marking the cut.
std::string loggableTarget(std::string_view target, std::size_t maxLength = 300);

// True for a query parameter name, as sent, that carries the administrator password.
bool isSecretParameter(std::string_view rawName);

} // namespace pelorix::master
