#include "RequestTarget.h"

#include <algorithm>
#include <cstdio>

namespace pelorix::master
{

namespace
{

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

bool isSecretParameter(std::string_view rawName)
{
    if (rawName.size() > 9) // three characters, each at most "%XX"
        return false;
    const std::string name = percentDecode(rawName);
    return name.size() == 3 && startsWithNoCase(name, "pwd");
}

std::string loggableTarget(std::string_view target, std::size_t maxLength)
{
    std::string out;
    out.reserve(std::min(target.size(), maxLength) + 8);
    const auto append = [&out](std::string_view text) {
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
                out += escaped;
            } else {
                out.push_back(c);
            }
        }
    };
    // Every stretch that follows a '?' or an '&' and runs to the next '&' is judged as a parameter. That covers
    // each parameter the parser reads, whatever came before its '?' (an absolute address, say).
    bool pairStart = false;
    std::size_t nextAmp = 0;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (pairStart) {
            if (nextAmp < i)
                nextAmp = std::min(target.find('&', i), target.size());
            const std::string_view pair = target.substr(i, nextAmp - i);
            // Only the first ten bytes can hold a secret name and its '=': no rescanning of a long stretch.
            const std::string_view name = pair.substr(0, pair.substr(0, 10).find('='));
            if (isSecretParameter(name)) {
                append(name);
                out += "=***";
                i += pair.size();
                if (i >= target.size())
                    break;
            }
        }
        append(target.substr(i, 1));
        pairStart = target[i] == '?' || target[i] == '&';
    }
    if (out.size() > maxLength) {
        out.resize(maxLength);
        out += "...";
    }
    return out;
}

} // namespace pelorix::master
