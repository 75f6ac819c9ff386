// Test builds of the 32-bit module only: the kernel the build runs, by its short name,
// so that the misaligned-stack test knows which kernel it drove.
#include "soft_knee_kernels.h"

extern "C" const char* softKneeKernelReport()
{
    return softKneeKernelName(softKneeKernelInUse());
}
