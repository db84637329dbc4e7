#include "support/ScriptedDialogs.h"

namespace pelorix::test
{

std::vector<std::string> ScriptedDialogs::texts() const
{
    std::vector<std::string> out;
    for (const auto &s : m_shown)
        out.push_back(s.text);
    return out;
}

DialogAnswer ScriptedDialogs::message(DialogKind kind, const std::string &text, DialogButtons buttons)
{
    m_shown.push_back({kind, text, buttons});
    if (m_onMessage)
        m_onMessage(m_shown.back());
    if (!m_answers.empty()) {
        const auto answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
}

std::optional<std::string> ScriptedDialogs::saveFileName(const FileDialogRequest &request)
{
    m_fileRequests.push_back(request);
    if (m_fileNames.empty())
        return std::nullopt;
    auto name = m_fileNames.front();
    m_fileNames.pop_front();
    return name;
}

std::optional<std::string> ScriptedDialogs::openFileName(const FileDialogRequest &request)
{
    return saveFileName(request);
}

std::optional<std::string> ScriptedDialogs::prompt(const std::string &caption, const std::string &label,
                                                   const std::string &initial, bool password)
{
    m_promptsAsked.push_back({caption, label, initial, password});
    if (m_prompts.empty())
        return std::nullopt;
    auto text = m_prompts.front();
    m_prompts.pop_front();
    return text;
}

} // namespace pelorix::test
