#include "click/WindowPictures.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <thread>

namespace click_bench {

QImage pictureOf(const WindowGeometry& window) {
    // The root window's pixels where the window is: what is on the screen.
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, window.x, window.y, window.width, window.height)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

namespace {

// A window mapped but not painted yet is one colour (black on Xvfb).
bool painted(const QImage& picture) {
    const QRgb first = picture.pixel(0, 0);
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            if (line[x] != first)
                return true;
    }
    return false;
}

}  // namespace

std::optional<QImage> settledPictureOf(const WindowGeometry& window, double settleSeconds,
                                       double maxSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto settled = start + std::chrono::duration<double>(settleSeconds);
    const auto end = start + std::chrono::duration<double>(maxSeconds);
    QImage last = pictureOf(window);
    int unchanged = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        QImage now = pictureOf(window);
        unchanged = now == last && painted(now) ? unchanged + 1 : 0;
        if (unchanged >= kUnchangedPictures && Clock::now() >= settled)
            return now;
        last = std::move(now);
    }
    return std::nullopt;
}

std::optional<QRect> changedArea(const QImage& before, const QImage& after) {
    if (before.size() != after.size())
        return std::nullopt;
    QRect area;
    for (int y = 0; y < before.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        for (int x = 0; x < before.width(); ++x)
            if (a[x] != b[x])
                area |= QRect(x, y, 1, 1);
    }
    if (area.isNull())
        return std::nullopt;
    return area;
}

}  // namespace click_bench
