#include "shell/widgets/Skin.h"

#include <QApplication>
#include <QPalette>

namespace pelorix
{

namespace
{

struct RoleColour {
    QPalette::ColorRole role;
    QColor colour;
};

} // namespace

void applySkin(QApplication &application)
{
    const QColor black(0, 0, 0);
    const QColor dark(32, 32, 32);
    const QColor mid(72, 72, 72);
    const QColor light(160, 160, 160);
    const QColor white(255, 255, 255);
    const QColor highlight(96, 96, 96);
    const RoleColour enabled[] = {
        {QPalette::Window, black},
        {QPalette::WindowText, white},
        {QPalette::Base, black},
        {QPalette::AlternateBase, dark},
        {QPalette::Text, white},
        {QPalette::Button, dark},
        {QPalette::ButtonText, white},
        {QPalette::Highlight, highlight},
        {QPalette::HighlightedText, white},
        {QPalette::ToolTipBase, QColor(224, 224, 224)},
        {QPalette::ToolTipText, black},
        {QPalette::Light, light},
        {QPalette::Midlight, mid},
        {QPalette::Mid, mid},
        {QPalette::Dark, dark},
        {QPalette::Shadow, black},
        {QPalette::PlaceholderText, light},
        {QPalette::Link, QColor(128, 160, 255)},
    };
    const RoleColour disabled[] = {
        {QPalette::Window, black},
        {QPalette::Base, black},
        {QPalette::WindowText, QColor(128, 128, 128)},
        {QPalette::Text, QColor(200, 200, 200)},
        {QPalette::ButtonText, QColor(110, 110, 110)},
        {QPalette::Button, dark},
        {QPalette::Highlight, highlight},
        {QPalette::HighlightedText, white},
    };
    QPalette p;
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        for (const auto &[role, colour] : enabled)
            p.setColor(group, role, colour);
    }
    for (const auto &[role, colour] : disabled)
        p.setColor(QPalette::Disabled, role, colour);
    application.setPalette(p);
    application.setStyleSheet(QStringLiteral(
        "QMenu { background: #2a2a2a; color: white; border: 1px solid #5a5a5a; }"
        "QMenu::item { padding: 3px 24px 3px 24px; }"
        "QMenu::item:selected { background: #5a5a5a; }"
        "QMenu::item:disabled { color: #7a7a7a; }"
        "QMenu::separator { height: 1px; background: #5a5a5a; margin: 3px 6px; }"
        "QProgressBar { border: 1px solid #6a6a6a; background: #101010; color: white; text-align: center; }"
        "QProgressBar::chunk { background: #8a8a8a; }"
        "QPushButton { background: #303030; color: white; border: 1px solid #707070; padding: 3px 12px; }"
        "QPushButton:hover { color: yellow; }"
        "QLineEdit { background: #101010; color: white; border: 1px solid #6a6a6a; }"
        "QScrollBar:vertical { background: #101010; width: 16px; }"
        "QScrollBar::handle:vertical { background: #6a6a6a; min-height: 20px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { background: #3a3a3a; height: 16px; }"
        "QToolTip { background: #e0e0e0; color: black; border: 1px solid #606060; }"));
}

} // namespace pelorix
