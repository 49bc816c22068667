#pragma once
// Which of a picture button's four images is shown, and which image stands in
// as the normal one. Pure: no windows involved.

#include <array>

namespace rk {

enum class ButtonImage { Normal = 0, Pressed = 1, Hover = 2, Disabled = 3, None = -1 };

// Slot i holds whether image i (Normal, Pressed, Hover, Disabled) loaded.
using ButtonImageSet = std::array<bool, 4>;

struct ButtonState {
    bool selected = false;
    bool disabled = false;
    bool hover = false;
};

// The image that becomes the normal one: Normal when it loaded, else the first
// of Pressed, Hover, Disabled that loaded, else None.
ButtonImage normalImageSource(const ButtonImageSet& loaded);

// The image to draw: None without a normal image; selected draws Pressed;
// disabled, else hover, draws Disabled resp. Hover; else Normal. A state image
// that is missing falls back to Normal.
ButtonImage imageForState(const ButtonState& state, const ButtonImageSet& available);

} // namespace rk
