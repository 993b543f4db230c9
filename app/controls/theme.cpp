#include "app/controls/theme.h"

namespace Theme {

QColor color(const Colour& colour, double opacity) {
    return QColor::fromRgbF(float(colour.red), float(colour.green), float(colour.blue),
                            float(colour.opacity * opacity));
}

QColor faded(const QColor& colour, double opacity) {
    QColor c = colour;
    c.setAlphaF(float(colour.alphaF() * opacity));
    return c;
}

// Text is black at the strengths a light desktop uses for its labels.
QColor primary(double opacity) { return QColor::fromRgbF(0, 0, 0, float(0.85 * opacity)); }
QColor secondary() { return QColor::fromRgbF(0, 0, 0, 0.5f); }
QColor tertiary() { return QColor::fromRgbF(0, 0, 0, 0.26f); }

QColor windowBackground() { return QColor(236, 236, 236); }
QColor sidebarBackground() { return QColor(226, 226, 230); }
QColor material() { return QColor::fromRgbF(1, 1, 1, 0.62f); }

QPalette palette() {
    QPalette p;
    const QColor text = primary();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, windowBackground());
        p.setColor(group, QPalette::Base, windowBackground());
        p.setColor(group, QPalette::AlternateBase, windowBackground());
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Button, windowBackground());
        p.setColor(group, QPalette::Highlight, color(accent, 0.22));
        p.setColor(group, QPalette::HighlightedText, text);
        p.setColor(group, QPalette::PlaceholderText, tertiary());
        p.setColor(group, QPalette::Link, color(accent));
        p.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 255));
        p.setColor(group, QPalette::ToolTipText, text);
    }
    p.setColor(QPalette::Disabled, QPalette::Window, windowBackground());
    p.setColor(QPalette::Disabled, QPalette::Base, windowBackground());
    p.setColor(QPalette::Disabled, QPalette::WindowText, tertiary());
    p.setColor(QPalette::Disabled, QPalette::Text, tertiary());
    p.setColor(QPalette::Disabled, QPalette::ButtonText, tertiary());
    return p;
}

}  // namespace Theme
