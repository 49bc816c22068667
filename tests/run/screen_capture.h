#pragma once
// Saves what the display shows as a BMP file under build/cross/artifacts, for
// a person to look at after the run; returns the Windows path, empty on failure.

#include <string>

namespace rk::test {

std::wstring saveScreenshot(const std::wstring& name);

} // namespace rk::test
