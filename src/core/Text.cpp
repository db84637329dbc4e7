#include "core/Text.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>

namespace pelorix
{

namespace
{

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
        out += QChar(static_cast<char16_t>(windows1252CodePoint(static_cast<unsigned char>(c))));
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

BoundedLineSplitter::BoundedLineSplitter(std::size_t maxLines, std::size_t maxTextBytes)
    : m_maxLines(maxLines)
    , m_maxTextBytes(maxTextBytes)
{
}

bool BoundedLineSplitter::feed(std::string_view piece)
{
    if (m_cut || m_finished)
        return false;
    if (m_afterCr && !piece.empty()) {
        if (piece.front() == '\n')
            piece.remove_prefix(1);
        m_afterCr = false;
    }
    while (!piece.empty()) {
        if (full()) {
            m_cut = true;
            break;
        }
        const std::size_t brk = piece.find_first_of("\r\n");
        const std::string_view text = piece.substr(0, brk);
        if (m_textBytes + m_partial.size() + text.size() > m_maxTextBytes) {
            m_cut = true;
            std::string().swap(m_partial);
            break;
        }
        if (brk == std::string_view::npos) {
            m_partial.append(text);
            break;
        }
        endLine(text);
        std::size_t next = brk + 1;
        if (piece[brk] == '\r') {
            if (next == piece.size())
                m_afterCr = true;
            else if (piece[next] == '\n')
                ++next;
        }
        piece.remove_prefix(next);
    }
    return !m_cut;
}

void BoundedLineSplitter::endLine(std::string_view tail)
{
    m_textBytes += m_partial.size() + tail.size();
    if (m_partial.empty()) {
        m_lines.emplace_back(tail);
    } else {
        m_partial.append(tail);
        m_lines.push_back(std::move(m_partial));
        m_partial.clear();
    }
}

std::vector<std::string> BoundedLineSplitter::finish()
{
    if (!m_finished && !m_cut && !m_partial.empty())
        endLine({});
    m_finished = true;
    std::string().swap(m_partial);
    return std::move(m_lines);
}

std::vector<std::string> splitLines(std::string_view text, std::size_t maxLines, std::size_t maxTextBytes, bool *cut)
{
    BoundedLineSplitter splitter(maxLines, maxTextBytes);
    splitter.feed(text);
    std::vector<std::string> lines = splitter.finish();
    if (cut)
        *cut = splitter.cut();
    return lines;
}

std::vector<std::string> splitLines(std::string_view text)
{
    return splitLines(text, SIZE_MAX, SIZE_MAX);
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

std::string normalizeLineBreaks(std::string_view text)
{
    // The final break goes: a CR LF, or a lone CR or LF, at the very end.
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        const bool crLf = text.size() >= 2 && text.back() == '\n' && text[text.size() - 2] == '\r';
        text.remove_suffix(crLf ? 2 : 1);
    }
    // Sized first, so that a large text is not copied again while it grows.
    std::size_t size = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            size += 2;
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            ++size;
        }
    }
    std::string out;
    out.reserve(size);
    while (!text.empty()) {
        const std::size_t brk = text.find_first_of("\r\n");
        out.append(text.substr(0, brk));
        if (brk == std::string_view::npos)
            break;
        out += "\r\n";
        std::size_t next = brk + 1;
        if (text[brk] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        text.remove_prefix(next);
    }
    return out;
}

std::string_view untilNul(std::string_view text)
{
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::string_view trimBlanks(std::string_view text)
{
    text = trimTrailingBlanks(text);
    return text.substr(std::min(text.find_first_not_of(" \t"), text.size()));
}

std::string_view trimTrailingBlanks(std::string_view text)
{
    // With no other byte, npos + 1 wraps to 0: the text becomes empty.
    return text.substr(0, text.find_last_not_of(" \t") + 1);
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
