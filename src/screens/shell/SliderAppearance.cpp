#include "screens/shell/SliderAppearance.h"

#include "screens/shell/AppResources.h"

#include <QApplication>

namespace murmelo {

QString sliderStyleSheet()
{
    return QStringLiteral(
               "QSlider::groove:horizontal { height: 6px; margin: 0 2px; }"
               "QSlider::sub-page:horizontal { border-image: url(%1) 0 0 0 5 stretch stretch;"
               " border-width: 0 0 0 5px; }"
               "QSlider::add-page:horizontal { border-image: url(%2) 0 5 0 0 stretch stretch;"
               " border-width: 0 5px 0 0; }"
               "QSlider::handle:horizontal { image: url(%3); width: 22px; height: 22px;"
               " margin: -8px -2px; }")
        .arg(appImagePath(QStringLiteral("slider_left.png")),
             appImagePath(QStringLiteral("slider_right.png")),
             appImagePath(QStringLiteral("slider_thumb.png")));
}

void applySliderAppearance()
{
    const QString sheet = sliderStyleSheet();
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (app && !app->styleSheet().contains(sheet))
        app->setStyleSheet(app->styleSheet() + sheet);
}

} // namespace murmelo
