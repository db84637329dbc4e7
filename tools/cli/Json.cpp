#include "Json.h"

#include "core/Text.h"

#include <cstdio>

namespace pelorix::cli
{

void appendJsonString(std::string &out, std::string_view cp1252)
{
    const std::string text = cp1252ToUtf8(cp1252);
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

} // namespace pelorix::cli
