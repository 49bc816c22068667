#include "ui/button_rules.h"

#include <gtest/gtest.h>

namespace rk {
namespace {

constexpr ButtonImageSet kAll{true, true, true, true};

TEST(ButtonRules, NormalImageFallsBackToTheFirstOtherThatLoaded)
{
    EXPECT_EQ(normalImageSource(kAll), ButtonImage::Normal);
    EXPECT_EQ(normalImageSource({false, false, true, false}), ButtonImage::Hover);
    EXPECT_EQ(normalImageSource({false, true, true, true}), ButtonImage::Pressed);
    EXPECT_EQ(normalImageSource({false, false, false, true}), ButtonImage::Disabled);
    EXPECT_EQ(normalImageSource({false, false, false, false}), ButtonImage::None);
}

TEST(ButtonRules, StateChoosesItsImage)
{
    struct Case {
        bool selected, disabled, hover;
        ButtonImage expected;
    };
    const Case cases[] = {
        {false, false, false, ButtonImage::Normal},  {false, false, true, ButtonImage::Hover},
        {false, true, false, ButtonImage::Disabled}, {false, true, true, ButtonImage::Disabled}, // disabled wins
        {true, false, false, ButtonImage::Pressed},  {true, false, true, ButtonImage::Pressed},
        {true, true, false, ButtonImage::Pressed},   {true, true, true, ButtonImage::Pressed},
    };
    for (const Case& c : cases) {
        ButtonState state{c.selected, c.disabled, c.hover};
        EXPECT_EQ(imageForState(state, kAll), c.expected) << c.selected << c.disabled << c.hover;
    }
}

TEST(ButtonRules, MissingStateImageDrawsNormalAndNoNormalDrawsNothing)
{
    const ButtonImageSet onlyNormal{true, false, false, false};
    EXPECT_EQ(imageForState({true, false, false}, onlyNormal), ButtonImage::Normal);
    EXPECT_EQ(imageForState({false, true, false}, onlyNormal), ButtonImage::Normal);
    EXPECT_EQ(imageForState({false, false, true}, onlyNormal), ButtonImage::Normal);
    // Disabled wins over hover even when that means falling back to normal.
    EXPECT_EQ(imageForState({false, true, true}, {true, false, true, false}), ButtonImage::Normal);
    EXPECT_EQ(imageForState({false, false, true}, {false, true, true, true}), ButtonImage::None);
}

} // namespace
} // namespace rk
