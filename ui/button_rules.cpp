#include "ui/button_rules.h"

namespace rk {
namespace {

bool has(const ButtonImageSet& set, ButtonImage image)
{
    return image != ButtonImage::None && set[static_cast<int>(image)];
}

} // namespace

ButtonImage normalImageSource(const ButtonImageSet& loaded)
{
    for (ButtonImage image : {ButtonImage::Normal, ButtonImage::Pressed, ButtonImage::Hover, ButtonImage::Disabled})
        if (has(loaded, image))
            return image;
    return ButtonImage::None;
}

ButtonImage imageForState(const ButtonState& state, const ButtonImageSet& available)
{
    if (!has(available, ButtonImage::Normal))
        return ButtonImage::None;
    ButtonImage wanted = ButtonImage::Normal;
    if (state.selected)
        wanted = ButtonImage::Pressed;
    else if (state.disabled)
        wanted = ButtonImage::Disabled;
    else if (state.hover)
        wanted = ButtonImage::Hover;
    return has(available, wanted) ? wanted : ButtonImage::Normal;
}

} // namespace rk
