#pragma once

#include "core/Dialogs.h"

class QWidget;

namespace pelorix
{

// The program's modal dialogs as Qt message boxes, file dialogs and input prompts.
class QtDialogs final : public Dialogs
{
  public:
    explicit QtDialogs(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget *parent) { m_parent = parent; }

    DialogAnswer message(DialogKind kind, const std::string &text, DialogButtons buttons = DialogButtons::Ok) override;
    std::optional<std::string> saveFileName(const FileDialogRequest &request) override;
    std::optional<std::string> openFileName(const FileDialogRequest &request) override;
    std::optional<std::string> prompt(const std::string &caption, const std::string &label, const std::string &initial,
                                      bool password) override;

  private:
    QWidget *m_parent;
};

} // namespace pelorix
