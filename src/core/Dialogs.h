#pragma once

#include <optional>
#include <string>

namespace pelorix
{

// Modal message boxes, prompts and file dialogs. All texts are Windows-1252 bytes.
// The window shows real dialogs; tests script the answers; the command-line browser prints.
enum class DialogKind { Error, Warning, Information, Confirmation };
enum class DialogButtons { Ok, YesNo };
enum class DialogAnswer { Ok, Yes, No };

struct FileDialogRequest {
    std::string title;
    std::string defaultFileName;
    std::string filterName;    // e.g. "*.txt"
    std::string filterPattern; // e.g. "*.txt"
    bool promptOverwrite = false;
    // The answer is a path in the file system's own bytes (UTF-8), not Windows-1252 text.
    bool systemPath = false;
};

class Dialogs
{
  public:
    virtual ~Dialogs() = default;

    virtual DialogAnswer message(DialogKind kind, const std::string &text,
                                 DialogButtons buttons = DialogButtons::Ok) = 0;
    // An empty optional when the user cancels.
    virtual std::optional<std::string> saveFileName(const FileDialogRequest &request) = 0;
    virtual std::optional<std::string> openFileName(const FileDialogRequest &request) = 0;
    virtual std::optional<std::string> prompt(const std::string &caption, const std::string &label,
                                              const std::string &initial, bool password) = 0;
};

} // namespace pelorix
