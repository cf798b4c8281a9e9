#include "gui/looks.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace quenlow::gui {

namespace {

QPalette dark_palette() {
    QPalette p;
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 30);
    const QColor text(220, 220, 220);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(86, 156, 214));
    p.setColor(QPalette::Highlight, QColor(38, 79, 120));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    return p;
}

}  // namespace

const std::vector<Look>& looks() {
    static const std::vector<Look> kLooks = {
        {kLookSystem, QStringLiteral("System")},
        {kLookLight, QStringLiteral("Light")},
        {kLookDark, QStringLiteral("Dark")},
    };
    return kLooks;
}

int known_look(int id) {
    for (const Look& look : looks())
        if (look.id == id) return id;
    return kDefaultLook;
}

void apply_look(QApplication& app, int id) {
    // The style the desktop gave the application, remembered before the first change.
    static const QString kSystemStyle = app.style()->name();
    switch (known_look(id)) {
        case kLookSystem:
            app.setStyle(QStyleFactory::create(kSystemStyle));
            app.setPalette(app.style()->standardPalette());
            break;
        case kLookDark:
            app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            app.setPalette(dark_palette());
            break;
        default:
            app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            app.setPalette(app.style()->standardPalette());
            break;
    }
}

}  // namespace quenlow::gui
