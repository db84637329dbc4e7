#pragma once

#include "core/Dialogs.h"

namespace pelorix::cli
{

// Dialogs for a terminal without questions: a message goes to standard error as UTF-8,
// a Yes/No question is answered No, file dialogs and prompts are cancelled.
class TerminalDialogs final : public Dialogs
{
  public:
    DialogAnswer message(DialogKind kind, const std::string &text, DialogButtons buttons = DialogButtons::Ok) override;
    std::optional<std::string> saveFileName(const FileDialogRequest &request) override;
    std::optional<std::string> openFileName(const FileDialogRequest &request) override;
    std::optional<std::string> prompt(const std::string &caption, const std::string &label, const std::string &initial,
                                      bool password) override;
};

} // namespace pelorix::cli
