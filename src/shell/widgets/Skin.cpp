#include "shell/widgets/Skin.h"

#include <QApplication>
#include <QPalette>

namespace pelorix
{

void applySkin(QApplication &application)
{
    QPalette p;
    const QColor black(0, 0, 0);
    const QColor dark(32, 32, 32);
    const QColor mid(72, 72, 72);
    const QColor light(160, 160, 160);
    const QColor white(255, 255, 255);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, black);
        p.setColor(group, QPalette::WindowText, white);
        p.setColor(group, QPalette::Base, black);
        p.setColor(group, QPalette::AlternateBase, dark);
        p.setColor(group, QPalette::Text, white);
        p.setColor(group, QPalette::Button, dark);
        p.setColor(group, QPalette::ButtonText, white);
        p.setColor(group, QPalette::Highlight, QColor(96, 96, 96));
        p.setColor(group, QPalette::HighlightedText, white);
        p.setColor(group, QPalette::ToolTipBase, QColor(224, 224, 224));
        p.setColor(group, QPalette::ToolTipText, black);
        p.setColor(group, QPalette::Light, light);
        p.setColor(group, QPalette::Midlight, mid);
        p.setColor(group, QPalette::Mid, mid);
        p.setColor(group, QPalette::Dark, dark);
        p.setColor(group, QPalette::Shadow, black);
        p.setColor(group, QPalette::PlaceholderText, light);
        p.setColor(group, QPalette::Link, QColor(128, 160, 255));
    }
    p.setColor(QPalette::Disabled, QPalette::Window, black);
    p.setColor(QPalette::Disabled, QPalette::Base, black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(200, 200, 200));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(110, 110, 110));
    p.setColor(QPalette::Disabled, QPalette::Button, dark);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(96, 96, 96));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, white);
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
