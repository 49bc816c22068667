#pragma once
// Screenshots for the window tests: what the display shows, read through GDI
// or from a PNG file that ImageMagick's import wrote, as pixels to sample, and
// saved as PNG under build/cross/artifacts for a person to look at. PNG files
// are read and written through the system's imaging component (WIC).

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace rk::test {

constexpr std::uint32_t rgb(int r, int g, int b)
{
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, rows top first
    bool empty() const { return pixels.empty(); }
    // 0xFF000000 outside the image.
    std::uint32_t at(int x, int y) const;
};

// The whole display now.
Image captureScreen();
Image loadPng(const std::wstring& path);
bool savePng(const Image& image, const std::wstring& path);

// build\cross\artifacts\NAME.png: the display now; returns the path, empty on failure.
std::wstring saveScreenshot(const std::wstring& name);
// The same, with the pixels that were saved.
Image saveScreenshot(const std::wstring& name, std::wstring& path);

// Pixels of the area (clipped to the image) that have this colour, each of
// red, green and blue within `tolerance` of it.
int countColour(const Image& image, const RECT& area, std::uint32_t colour, int tolerance = 0);
// Whether two images differ anywhere inside the area.
bool differIn(const Image& a, const Image& b, const RECT& area);
// "RRGGBB" for messages.
std::string colourText(std::uint32_t colour);

} // namespace rk::test
