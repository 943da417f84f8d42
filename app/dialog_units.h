// Dialog-unit arithmetic as Windows does it, so that a shell without dialog
// templates can lay the same window out at the same size.
#ifndef SONVALE_APP_DIALOG_UNITS_H
#define SONVALE_APP_DIALOG_UNITS_H

namespace sonvale {

struct DialogBaseUnits {
    int x;  // average character width of the dialog font, in pixels
    int y;  // character height of the dialog font, in pixels
};

// Base units from the pixel width of "A".."Z" "a".."z" set in the dialog font
// and the font's height.
constexpr DialogBaseUnits BaseUnitsFromFont(int alphabetWidth, int height)
{
    return {(alphabetWidth / 26 + 1) / 2, height};
}

// MulDiv: rounded to nearest, halves away from zero.
constexpr int MulDivRounded(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

constexpr int DialogUnitsToPixelsX(int units, DialogBaseUnits base) { return MulDivRounded(units, base.x, 4); }
constexpr int DialogUnitsToPixelsY(int units, DialogBaseUnits base) { return MulDivRounded(units, base.y, 8); }

}  // namespace sonvale

#endif
