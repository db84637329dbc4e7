#include "RequestTarget.h"

#include <cstdio>

namespace pelorix::master {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::string RequestTarget::value(const std::string &name) const
{
    const auto it = query.find(name);
    return it == query.end() ? std::string{} : it->second;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

RequestTarget parseRequestTarget(std::string_view target)
{
    if (startsWithNoCase(target, "http://")) {
        const auto slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    const auto hash = target.find('#');
    if (hash != std::string_view::npos)
        target = target.substr(0, hash);

    RequestTarget result;
    const auto question = target.find('?');
    result.path = std::string(target.substr(0, question));
    if (question == std::string_view::npos)
        return result;

    std::string_view rest = target.substr(question + 1);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
        if (pair.empty())
            continue;
        const auto eq = pair.find('=');
        const std::string name = percentDecode(pair.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? std::string{} : percentDecode(pair.substr(eq + 1));
        result.query.emplace(name, value);
    }
    return result;
}

std::string loggableTarget(std::string_view target, std::size_t maxLength)
{
    std::string out;
    const std::string_view cut = target.substr(0, maxLength);
    bool secret = false;
    for (std::size_t i = 0; i < cut.size(); ++i) {
        const char c = cut[i];
        if (c == '&' || c == '?') {
            secret = cut.substr(i + 1, 4) == "pwd=";
            out.push_back(c);
            if (secret) {
                out += "pwd=***";
                i += 4;
            }
            continue;
        }
        if (secret)
            continue;
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    if (target.size() > maxLength)
        out += "...";
    return out;
}

} // namespace pelorix::master
