// An image read from a file (PNG, SVG, JPEG, ...).
#pragma once

#include <optional>
#include <string>

class NSBundle;

class NSImage {
  public:
    // The image in the file at `path`; absent when the file is not an image
    // the toolkit can read.
    static std::optional<NSImage> imageWithContentsOfFile(const std::string& path);

    const std::string& path() const { return path_; }
    bool operator==(const NSImage&) const = default;

  private:
    explicit NSImage(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// The bundle's image resource `name` (the bundle's imageForResource:): the
// first readable <name>.png, .svg, .jpg or .icns among its resources.
std::optional<NSImage> imageForResource(const NSBundle& bundle, const std::string& name);
