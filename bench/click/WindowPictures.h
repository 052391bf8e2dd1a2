// What the window shows, taken from the X server as a screenshot would, and
// where two pictures of it differ. Needs this process's QGuiApplication on
// the same display.
#pragma once

#include <QImage>
#include <QRect>
#include <optional>

#include "click/Xdotool.h"

namespace click_bench {

inline constexpr int kUnchangedPictures = 4;

QImage pictureOf(const WindowGeometry& window);

// The window's picture once it is painted and has stopped changing: five
// pictures 250 ms apart are equal, and at least `settleSeconds` have passed.
// Absent when it still changes (or is still unpainted) after `maxSeconds`.
std::optional<QImage> settledPictureOf(const WindowGeometry& window, double settleSeconds,
                                       double maxSeconds);

// The smallest rectangle holding every pixel that differs (window
// coordinates); absent when the pictures are equal or differ in size.
std::optional<QRect> changedArea(const QImage& before, const QImage& after);

}  // namespace click_bench
