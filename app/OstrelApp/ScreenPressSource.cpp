#include "OstrelApp/ScreenPressSource.hpp"

#include <QGuiApplication>

#include "OstrelApp/X11ScreenPressSource.hpp"

namespace ostrel {

ScreenPressSource::~ScreenPressSource() = default;

std::unique_ptr<ScreenPressSource> ScreenPressSource::forPlatform() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return X11ScreenPressSource::create();
    return nullptr;
}

}  // namespace ostrel
