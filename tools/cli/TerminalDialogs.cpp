#include "TerminalDialogs.h"

#include "core/Text.h"

#include <cstdio>

namespace pelorix::cli
{

namespace
{

const char *kindWord(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Error:
        return "error";
    case DialogKind::Warning:
        return "warning";
    case DialogKind::Information:
        return "information";
    case DialogKind::Confirmation:
        return "confirmation";
    }
    return "message";
}

} // namespace

DialogAnswer TerminalDialogs::message(DialogKind kind, const std::string &text, DialogButtons buttons)
{
    // The message's own CR LF breaks become the terminal's.
    const std::string lines = joinCrLf(splitLines(text));
    std::string shown;
    for (const char c : lines) {
        if (c != '\r')
            shown += c;
    }
    std::fprintf(stderr, "pelorix-cli: %s: %s\n", kindWord(kind), cp1252ToUtf8(shown).c_str());
    if (buttons == DialogButtons::YesNo) {
        std::fprintf(stderr, "pelorix-cli: answered No\n");
        return DialogAnswer::No;
    }
    return DialogAnswer::Ok;
}

std::optional<std::string> TerminalDialogs::saveFileName(const FileDialogRequest &)
{
    return std::nullopt;
}

std::optional<std::string> TerminalDialogs::openFileName(const FileDialogRequest &)
{
    return std::nullopt;
}

std::optional<std::string> TerminalDialogs::prompt(const std::string &, const std::string &, const std::string &, bool)
{
    return std::nullopt;
}

} // namespace pelorix::cli
