// Sine and cosine in double precision that give the same bits on every
// platform and compiler: the platform's own (glibc, or the x87 instructions
// that MinGW's library uses) differ from one another in the last bits, which
// the six-decimal output can show. The argument reduction is exact for every
// finite double; the error is within one unit in the last place.
#ifndef MDLEXPORT_EXPORT_PORTABLE_MATH_H
#define MDLEXPORT_EXPORT_PORTABLE_MATH_H

#include <cstddef>

double PortableSin(double x);
double PortableCos(double x);

// Both at once, from one argument reduction: the same bits as PortableSin(x)
// and PortableCos(x).
void PortableSinCos(double x, double& sine, double& cosine);

// PortableSinCos of each of the `count` values of `x`, two side by side at a
// time: the same bits, faster over many.
void PortableSinCosN(const double* x, double* sine, double* cosine, size_t count);

#endif
