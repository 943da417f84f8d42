#include <gtest/gtest.h>

#include "app/dialog_units.h"
#include "res/resource.h"

namespace sonvale {
namespace {

TEST(DialogUnits, MatchWindowsForTheCommonDialogFont)
{
    // 8-point MS Sans Serif at 96 dpi: the alphabet is 286 pixels wide, 13 high,
    // which Windows turns into base units of 6 x 13.
    const DialogBaseUnits base = BaseUnitsFromFont(286, 13);
    EXPECT_EQ(base.x, 6);
    EXPECT_EQ(base.y, 13);
    // 207 x 83 units: 310.5 and 134.875 pixels, rounded as MulDiv does.
    EXPECT_EQ(DialogUnitsToPixelsX(MAIN_DLG_WIDTH, base), 311);
    EXPECT_EQ(DialogUnitsToPixelsY(MAIN_DLG_HEIGHT, base), 135);
}

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDivRounded(5, 1, 2), 3);
    EXPECT_EQ(MulDivRounded(-5, 1, 2), -3);
    EXPECT_EQ(MulDivRounded(7, 1, 4), 2);
    EXPECT_EQ(MulDivRounded(0, 13, 8), 0);
}

}  // namespace
}  // namespace sonvale
