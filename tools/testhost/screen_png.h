#pragma once
// The test host's screenshots on Windows itself, where ImageMagick's import
// (what it runs under Wine) is not at hand: the screen through GDI, written as
// a PNG file through the imaging component (WIC).

#include <string>
#include <vector>

// True when this program runs under Wine (ntdll exports wine_get_version).
bool runsUnderWine();

// The screen's pixels in the rectangle, 32 bits each (blue, green, red, unused),
// rows from the top; empty on failure.
std::vector<unsigned char> captureScreen(int left, int top, int width, int height);

// The whole screen to `path` (a Windows path) as PNG; false on failure.
bool saveScreenPng(const std::wstring& path);
