// The floating-point environment the HQ core computes in, for the length of one call.
//
// Contract: while an HqFloatEnvironment lives, the thread's SSE environment (MXCSR) rounds to
// nearest, flushes subnormal results to zero, takes subnormal operands as zero and masks every
// exception, with no flag raised; when it ends, the thread has exactly the MXCSR it had before,
// the host's rounding, flush and mask bits and its sticky flags included, and none of the flags
// the core raised. So neither a host's mode nor its unmasked exceptions reach the core's
// arithmetic, and the core leaves no trace in the host's.
//
// Design. MXCSR is read and written with the SSE intrinsics alone, on every target and
// compiler: the C library's fenv functions differ between glibc and the Windows runtimes (some
// of which also touch the x87 control word, which the core never uses for arithmetic). A
// processor without denormals-are-zero (early 32-bit Pentium 4s) faults when the bit is set, so
// hqFloatMode() leaves it out there; the core takes no subnormal operand but an input sample,
// and those it flushes itself.
#pragma once

#include <xmmintrin.h>

// The core's MXCSR: rounding to nearest, flush to zero, denormals are zero where the processor
// has it, all six exceptions masked, no flag.
unsigned int hqFloatMode() noexcept;

class HqFloatEnvironment {
public:
    HqFloatEnvironment() noexcept : host_(_mm_getcsr()) { _mm_setcsr(hqFloatMode()); }
    ~HqFloatEnvironment() { _mm_setcsr(host_); }
    HqFloatEnvironment(const HqFloatEnvironment&) = delete;
    HqFloatEnvironment& operator=(const HqFloatEnvironment&) = delete;

private:
    unsigned int host_;
};
