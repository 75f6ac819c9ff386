// The stdio output functions, write, the sleep calls and sched_yield, defined
// here so that a loaded module's calls to them are counted on the audio path.
// Each counts and then forwards to the C library's own definition. A stdio call
// takes the stream's lock inside the C library, out of sight of the pthread
// functions the lock count sees; the others may block in the kernel.
#ifdef __linux__

#include "audio_path_note.h"

#include <dlfcn.h>
#include <sched.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace plughost {

namespace {

template <typename Function> Function nextDefinition(const char* name) noexcept
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// The C library's definitions of the functions defined here.
struct BlockingFunctions {
    using VfprintfFunction = int (*)(FILE*, const char*, va_list);
    using VfprintfChkFunction = int (*)(FILE*, int, const char*, va_list);
    using VdprintfFunction = int (*)(int, const char*, va_list);
    using FputsFunction = int (*)(const char*, FILE*);
    using PutsFunction = int (*)(const char*);
    using FputcFunction = int (*)(int, FILE*);
    using PutcharFunction = int (*)(int);
    using FwriteFunction = std::size_t (*)(const void*, std::size_t, std::size_t, FILE*);
    using FflushFunction = int (*)(FILE*);
    using WriteFunction = ssize_t (*)(int, const void*, std::size_t);
    using WritevFunction = ssize_t (*)(int, const iovec*, int);
    using PwriteFunction = ssize_t (*)(int, const void*, std::size_t, off_t);
    using SleepFunction = unsigned (*)(unsigned);
    using UsleepFunction = int (*)(useconds_t);
    using NanosleepFunction = int (*)(const timespec*, timespec*);
    using ClockNanosleepFunction = int (*)(clockid_t, int, const timespec*, timespec*);
    using YieldFunction = int (*)();

    VfprintfFunction vfprintf = nextDefinition<VfprintfFunction>("vfprintf");
    VfprintfChkFunction vfprintfChk = nextDefinition<VfprintfChkFunction>("__vfprintf_chk");
    VdprintfFunction vdprintf = nextDefinition<VdprintfFunction>("vdprintf");
    FputsFunction fputs = nextDefinition<FputsFunction>("fputs");
    PutsFunction puts = nextDefinition<PutsFunction>("puts");
    FputcFunction fputc = nextDefinition<FputcFunction>("fputc");
    FputcFunction putc = nextDefinition<FputcFunction>("putc");
    PutcharFunction putchar = nextDefinition<PutcharFunction>("putchar");
    FwriteFunction fwrite = nextDefinition<FwriteFunction>("fwrite");
    FflushFunction fflush = nextDefinition<FflushFunction>("fflush");
    WriteFunction write = nextDefinition<WriteFunction>("write");
    WritevFunction writev = nextDefinition<WritevFunction>("writev");
    PwriteFunction pwrite = nextDefinition<PwriteFunction>("pwrite");
    SleepFunction sleep = nextDefinition<SleepFunction>("sleep");
    UsleepFunction usleep = nextDefinition<UsleepFunction>("usleep");
    NanosleepFunction nanosleep = nextDefinition<NanosleepFunction>("nanosleep");
    ClockNanosleepFunction clockNanosleep = nextDefinition<ClockNanosleepFunction>("clock_nanosleep");
    YieldFunction yield = nextDefinition<YieldFunction>("sched_yield");
};

const BlockingFunctions& next() noexcept
{
    static const BlockingFunctions functions;
    return functions;
}

// Looked up before main, so the lookup never lands inside a counted region.
[[maybe_unused]] const BlockingFunctions& resolvedBeforeMain = next();

void stdio(const char* name) noexcept
{
    noteBlockingCall(&AudioPathCounts::stdioWrites, name);
}

} // namespace

} // namespace plughost

using plughost::next;
using plughost::noteBlockingCall;
using plughost::stdio;
using Counts = plughost::AudioPathCounts;

extern "C" {

int vfprintf(FILE* stream, const char* format, va_list arguments)
{
    stdio("vfprintf");
    return next().vfprintf(stream, format, arguments);
}

int fprintf(FILE* stream, const char* format, ...)
{
    stdio("fprintf");
    va_list arguments;
    va_start(arguments, format);
    const int result = next().vfprintf(stream, format, arguments);
    va_end(arguments);
    return result;
}

// stdio.h may define vprintf and putchar inline when optimising; these take
// their symbol names by label instead, so the two definitions never meet.
int countedVprintf(const char* format, va_list arguments) __asm__("vprintf");
int countedPutchar(int character) __asm__("putchar");

int countedVprintf(const char* format, va_list arguments)
{
    stdio("vprintf");
    return next().vfprintf(stdout, format, arguments);
}

int printf(const char* format, ...)
{
    stdio("printf");
    va_list arguments;
    va_start(arguments, format);
    const int result = next().vfprintf(stdout, format, arguments);
    va_end(arguments);
    return result;
}

int __vfprintf_chk(FILE* stream, int flag, const char* format, va_list arguments)
{
    stdio("fprintf");
    return next().vfprintfChk(stream, flag, format, arguments);
}

int __fprintf_chk(FILE* stream, int flag, const char* format, ...)
{
    stdio("fprintf");
    va_list arguments;
    va_start(arguments, format);
    const int result = next().vfprintfChk(stream, flag, format, arguments);
    va_end(arguments);
    return result;
}

int __printf_chk(int flag, const char* format, ...)
{
    stdio("printf");
    va_list arguments;
    va_start(arguments, format);
    const int result = next().vfprintfChk(stdout, flag, format, arguments);
    va_end(arguments);
    return result;
}

int __vprintf_chk(int flag, const char* format, va_list arguments)
{
    stdio("vprintf");
    return next().vfprintfChk(stdout, flag, format, arguments);
}

int dprintf(int descriptor, const char* format, ...)
{
    noteBlockingCall(&Counts::writes, "dprintf");
    va_list arguments;
    va_start(arguments, format);
    const int result = next().vdprintf(descriptor, format, arguments);
    va_end(arguments);
    return result;
}

int fputs(const char* text, FILE* stream)
{
    stdio("fputs");
    return next().fputs(text, stream);
}

int puts(const char* text)
{
    stdio("puts");
    return next().puts(text);
}

int fputc(int character, FILE* stream)
{
    stdio("fputc");
    return next().fputc(character, stream);
}

int putc(int character, FILE* stream)
{
    stdio("putc");
    return next().putc(character, stream);
}

int countedPutchar(int character)
{
    stdio("putchar");
    return next().putchar(character);
}

std::size_t fwrite(const void* data, std::size_t size, std::size_t count, FILE* stream)
{
    stdio("fwrite");
    return next().fwrite(data, size, count, stream);
}

int fflush(FILE* stream)
{
    stdio("fflush");
    return next().fflush(stream);
}

ssize_t write(int descriptor, const void* data, std::size_t size)
{
    noteBlockingCall(&Counts::writes, "write");
    return next().write(descriptor, data, size);
}

ssize_t writev(int descriptor, const iovec* parts, int count)
{
    noteBlockingCall(&Counts::writes, "writev");
    return next().writev(descriptor, parts, count);
}

ssize_t pwrite(int descriptor, const void* data, std::size_t size, off_t offset)
{
    noteBlockingCall(&Counts::writes, "pwrite");
    return next().pwrite(descriptor, data, size, offset);
}

unsigned sleep(unsigned seconds)
{
    noteBlockingCall(&Counts::sleeps, "sleep");
    return next().sleep(seconds);
}

int usleep(useconds_t microseconds)
{
    noteBlockingCall(&Counts::sleeps, "usleep");
    return next().usleep(microseconds);
}

int nanosleep(const timespec* duration, timespec* remaining)
{
    noteBlockingCall(&Counts::sleeps, "nanosleep");
    return next().nanosleep(duration, remaining);
}

int clock_nanosleep(clockid_t clock, int flags, const timespec* until, timespec* remaining)
{
    noteBlockingCall(&Counts::sleeps, "clock_nanosleep");
    return next().clockNanosleep(clock, flags, until, remaining);
}

int sched_yield() noexcept
{
    noteBlockingCall(&Counts::yields, "sched_yield");
    return next().yield();
}

} // extern "C"

#endif
