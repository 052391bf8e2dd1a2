#include "AppKit/NSImage.h"

#include <QImageReader>

#include "Foundation/NSBundle.h"

std::optional<NSImage> NSImage::imageWithContentsOfFile(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    if (!reader.canRead())
        return std::nullopt;
    return NSImage(path);
}

std::optional<NSImage> imageForResource(const NSBundle& bundle, const std::string& name) {
    for (const char* type : {"png", "svg", "jpg", "jpeg", "icns"}) {
        if (auto path = bundle.pathForResource(name, type)) {
            if (auto image = NSImage::imageWithContentsOfFile(*path))
                return image;
        }
    }
    return std::nullopt;
}
