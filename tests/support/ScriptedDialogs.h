#pragma once

#include "core/Dialogs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace pelorix::test
{

// Answers dialogs from a script and records every one that was asked.
class ScriptedDialogs : public Dialogs
{
  public:
    struct Shown {
        DialogKind kind;
        std::string text;
        DialogButtons buttons;
    };

    struct Prompt {
        std::string caption;
        std::string label;
        std::string initial;
        bool password;
    };

    void setNextAnswer(DialogAnswer answer) { m_answers.push_back(answer); }
    void setNextFileName(std::optional<std::string> name) { m_fileNames.push_back(std::move(name)); }
    void setNextPromptText(std::optional<std::string> text) { m_prompts.push_back(std::move(text)); }
    // Runs inside the next message, before it returns (to re-enter the code under test).
    void setOnMessage(std::function<void(const Shown &)> hook) { m_onMessage = std::move(hook); }

    const std::vector<Shown> &shown() const { return m_shown; }
    std::vector<std::string> texts() const;
    const std::vector<FileDialogRequest> &fileRequests() const { return m_fileRequests; }
    const std::vector<Prompt> &prompts() const { return m_promptsAsked; }

    DialogAnswer message(DialogKind kind, const std::string &text, DialogButtons buttons) override;
    std::optional<std::string> saveFileName(const FileDialogRequest &request) override;
    std::optional<std::string> openFileName(const FileDialogRequest &request) override;
    std::optional<std::string> prompt(const std::string &caption, const std::string &label, const std::string &initial,
                                      bool password) override;

  private:
    std::deque<DialogAnswer> m_answers;
    std::deque<std::optional<std::string>> m_fileNames;
    std::deque<std::optional<std::string>> m_prompts;
    std::vector<Shown> m_shown;
    std::vector<FileDialogRequest> m_fileRequests;
    std::vector<Prompt> m_promptsAsked;
    std::function<void(const Shown &)> m_onMessage;
};

} // namespace pelorix::test
