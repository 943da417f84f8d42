#include "spectrum/portable_math.h"

#include <cmath>

namespace sonvale {
namespace {

// pi/2 in two parts: the first has 33 significant bits, so k times it is
// exact for the small k used here and x - k*pi/2 loses nothing.
constexpr double kHalfPiHigh = 1.57079632673412561417e+00;
constexpr double kHalfPiLow = 6.07710050650619224932e-11;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

// ln 2 split the same way, for k * ln 2 without rounding.
constexpr double kLn2High = 6.93147180369123816490e-01;
constexpr double kLn2Low = 1.90821492927058770002e-10;

// Taylor series on |r| <= pi/4 in Horner form, smallest term first. Each
// keeps the series less its leading 1, so that the leading term is added last
// and exactly: sin r = r + r*u, cos r = 1 + u.
double SinKernel(double r)
{
    const double r2 = r * r;
    double u = 0.0;
    for (int n = 23; n >= 3; n -= 2)
        u = -(1.0 + u) * r2 / ((n - 1.0) * n);
    return r + r * u;
}

double CosKernel(double r)
{
    const double r2 = r * r;
    double u = 0.0;
    for (int n = 22; n >= 2; n -= 2)
        u = -(1.0 + u) * r2 / ((n - 1.0) * n);
    return 1.0 + u;
}

// Quadrant and remainder of x against multiples of pi/2.
double Reduce(double x, int* quadrant)
{
    const double k = std::floor(x * kTwoOverPi + 0.5);
    *quadrant = static_cast<int>(k) & 3;
    return (x - k * kHalfPiHigh) - k * kHalfPiLow;
}

}  // namespace

double PortableSin(double x)
{
    int quadrant = 0;
    const double r = Reduce(x, &quadrant);
    switch (quadrant) {
    case 0: return SinKernel(r);
    case 1: return CosKernel(r);
    case 2: return -SinKernel(r);
    default: return -CosKernel(r);
    }
}

double PortableCos(double x)
{
    int quadrant = 0;
    const double r = Reduce(x, &quadrant);
    switch (quadrant) {
    case 0: return CosKernel(r);
    case 1: return -SinKernel(r);
    case 2: return -CosKernel(r);
    default: return SinKernel(r);
    }
}

double PortableLog(double x)
{
    // x = m * 2^e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh(s).
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double series = 0.0;
    for (int n = 25; n >= 3; n -= 2)
        series = (series + 1.0 / n) * s2;
    const double lnM = 2.0 * s + 2.0 * s * series;
    return e * kLn2High + (lnM + e * kLn2Low);
}

}  // namespace sonvale
