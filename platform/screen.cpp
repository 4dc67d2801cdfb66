#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <atomic>
#include <cmath>

namespace {
std::atomic<int> g_override{0};
}

int ScreenPixelsPerInch() {
    if (int v = g_override.load()) return v;
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QScreen* s = app->primaryScreen()) {
            int dpi = static_cast<int>(std::lround(s->logicalDotsPerInchY()));
            if (dpi > 0) return dpi;
        }
    }
    return 96;
}

void SetScreenPixelsPerInch(int dpi) {
    g_override.store(dpi > 0 ? dpi : 0);
}
