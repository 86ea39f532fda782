#include "NightMode.h"

#include "NightVision.h"

namespace {
bool active = false;
} // namespace

bool NightMode::Active() {
    return active;
}

void NightMode::SetActive(bool on) {
    active = on;
}

QPalette NightMode::Palette() {
    const QColor black(0, 0, 0);
    const QColor dark(40, 0, 0);
    const QColor text(NightVision::MaxRed, 0, 0);
    const QColor muted(110, 0, 0);
    QPalette p(text, black);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, black);
        p.setColor(group, QPalette::Base, black);
        p.setColor(group, QPalette::AlternateBase, QColor(20, 0, 0));
        p.setColor(group, QPalette::Button, dark);
        p.setColor(group, QPalette::Light, QColor(70, 0, 0));
        p.setColor(group, QPalette::Midlight, QColor(55, 0, 0));
        p.setColor(group, QPalette::Mid, QColor(30, 0, 0));
        p.setColor(group, QPalette::Dark, QColor(25, 0, 0));
        p.setColor(group, QPalette::Shadow, black);
        for (const QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
            p.setColor(group, role, disabled ? muted : text);
        p.setColor(group, QPalette::PlaceholderText, muted);
        p.setColor(group, QPalette::Highlight, QColor(90, 0, 0));
        p.setColor(group, QPalette::HighlightedText, QColor(230, 0, 0));
        p.setColor(group, QPalette::ToolTipBase, black);
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::Link, text);
        p.setColor(group, QPalette::LinkVisited, muted);
    }
    return p;
}

QColor NightMode::Shown(const QColor& day) {
    return active ? NightVision::Colour(day) : day;
}
