#include "core/Text.h"

#include "platform/SystemText.h"

#include <QList>
#include <QString>

#include <charconv>
#include <cstdint>

namespace pelorix {

namespace {

char32_t codePointOf(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kWindows1252High[byte - 0x80];
    return byte;
}

char byteOf(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == cp)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

std::string cp1252ToUtf8(std::string_view cp1252)
{
    return windowsTextToSystem(cp1252);
}

std::string utf8ToCp1252(std::string_view utf8)
{
    return fromQString(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

QString toQString(std::string_view cp1252)
{
    QString out;
    out.reserve(static_cast<qsizetype>(cp1252.size()));
    for (char c : cp1252)
        out += QChar(static_cast<char16_t>(codePointOf(static_cast<unsigned char>(c))));
    return out;
}

std::string fromQString(const QString &text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (const char32_t cp : text.toUcs4())
        out += byteOf(cp);
    return out;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::string joinCrLf(const std::vector<std::string> &lines)
{
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += "\r\n";
        out += lines[i];
    }
    return out;
}

std::string_view untilNul(std::string_view text)
{
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::string asciiLower(std::string_view text)
{
    std::string out(text);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string asciiUpper(std::string_view text)
{
    return upperAscii(text);
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool parseInt32(std::string_view text, int &value)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return false;
    }
    if (text.empty())
        return false;
    std::int32_t v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return false;
    value = v;
    return true;
}

} // namespace pelorix
