#pragma once

#include "platform/SystemText.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class QString;

namespace pelorix
{

// Text inside the program is Windows-1252 bytes in a std::string. These helpers convert
// at the edges (widgets, terminals, JSON) and do the few text operations everything shares; the ASCII case
// helpers come with platform/SystemText.h.

std::string cp1252ToUtf8(std::string_view cp1252);
// Characters that Windows-1252 cannot hold become '?'.
std::string utf8ToCp1252(std::string_view utf8);
QString toQString(std::string_view cp1252);
std::string fromQString(const QString &text);

// Splits at CR LF, lone CR or lone LF. A final line break ends the last line and adds no empty line;
// the empty text gives no lines.
std::vector<std::string> splitLines(std::string_view text);
// Joins with CR LF between the lines and none after the last one.
std::string joinCrLf(const std::vector<std::string> &lines);
// joinCrLf(splitLines(text)) in one pass, without a list of the lines: every break becomes CR LF and a final
// break goes. A text of nothing but line breaks would otherwise become millions of empty strings.
std::string normalizeLineBreaks(std::string_view text);

// Splits text that may arrive in pieces the way splitLines does, and stops at its limits: after maxLines lines,
// or before the kept lines would hold more than maxTextBytes bytes (breaks not counted). Nothing after a limit
// is looked at, and a line the byte limit cuts is not kept.
class BoundedLineSplitter
{
  public:
    BoundedLineSplitter(std::size_t maxLines, std::size_t maxTextBytes);

    // The next piece of the text. False once text beyond a limit was met (cut()): the rest need not be fed.
    bool feed(std::string_view piece);
    // The text has ended: a last line without a break is kept too.
    std::vector<std::string> finish();
    // There was more text than the lines kept: a limit was reached before the end.
    bool cut() const { return m_cut; }

  private:
    void endLine(std::string_view tail);
    bool full() const { return m_cut || m_lines.size() >= m_maxLines; }

    std::size_t m_maxLines;
    std::size_t m_maxTextBytes;
    std::size_t m_textBytes = 0;
    std::vector<std::string> m_lines;
    std::string m_partial;  // the line in progress, begun in an earlier piece
    bool m_afterCr = false; // the last piece ended with CR: an LF that starts the next one belongs to it
    bool m_finished = false;
    bool m_cut = false;
};

// splitLines with BoundedLineSplitter's limits; *cut (when given) tells whether text was left over.
std::vector<std::string> splitLines(std::string_view text, std::size_t maxLines, std::size_t maxTextBytes,
                                    bool *cut = nullptr);
// Cuts the text at its first NUL byte, if it has one.
std::string_view untilNul(std::string_view text);

// The text without the blanks (spaces and tabs) at its ends, or at its end only.
std::string_view trimBlanks(std::string_view text);
std::string_view trimTrailingBlanks(std::string_view text);

// A whole number as the program's conversions accept it: optional sign, decimal digits, within 32 bits.
bool parseInt32(std::string_view text, int &value);

} // namespace pelorix
