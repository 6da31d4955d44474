#include "toolkit/Theme.h"

#include "toolkit/KeyboardFocus.h"

#include <QApplication>
#include <QStyleFactory>

namespace murmelo::Theme {

QPalette palette()
{
    QPalette p;
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, surface);
    p.setColor(QPalette::AlternateBase, background);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::PlaceholderText, secondaryText);
    p.setColor(QPalette::Button, raised);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, accent);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, raised);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Link, QColor(0x8f, 0xa0, 0xff));
    p.setColor(QPalette::Light, raised.lighter(140));
    p.setColor(QPalette::Midlight, raised.lighter(120));
    p.setColor(QPalette::Mid, raised);
    p.setColor(QPalette::Dark, background.darker(130));
    p.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Button, surface);
    return p;
}

void applyToApplication()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // Fusion draws from the palette everywhere; the desktop's own style may not.
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setPalette(palette());
    KeyboardFocus::install();
}

} // namespace murmelo::Theme
