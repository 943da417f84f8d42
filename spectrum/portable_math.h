// Sine, cosine and natural logarithm in plain double-precision arithmetic.
// The C libraries of the two builds compute these differently (x87 code with
// the precision the runtime sets on Windows, SSE2 code on Linux), and one last
// bit of difference in a twiddle changes the spectrum. Built from IEEE
// operations alone, these give the same bits wherever SSE2 doubles are used.
#ifndef SONVALE_SPECTRUM_PORTABLE_MATH_H
#define SONVALE_SPECTRUM_PORTABLE_MATH_H

namespace sonvale {

// For |x| up to a few turns; within two units in the last place of the result.
double PortableSin(double x);
double PortableCos(double x);
// For finite x > 0; within two units in the last place.
double PortableLog(double x);

}  // namespace sonvale

#endif
