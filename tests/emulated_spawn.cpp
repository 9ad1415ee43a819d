// Preloaded into the tests and the programs they start under qemu's user-mode emulation (the
// arm64 build). Debian 12's qemu (7.2) refuses the clone flag that asks for a process file
// descriptor, yet passes the kernel's waitid through, so Qt takes the descriptor as available
// and QProcess can start nothing. Answering Qt's probe as an older kernel would makes it start
// processes with a plain fork instead, which qemu runs.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/syscall.h>

namespace {

constexpr long kPidfdWait = 3;  // waitid's P_PIDFD

using Syscall = long (*)(long, ...);

// Only for this process: the programs a test starts are preloaded again by their emulator's
// arguments, and native ones (pdftotext, Mosquitto, /bin/sh) must not try to load it.
[[gnu::constructor]] void ForgetPreload()
{
    unsetenv("LD_PRELOAD");
}

}  // namespace

extern "C" long syscall(long number, ...)
{
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (long& v : a)
        v = va_arg(ap, long);
    va_end(ap);
    if (number == SYS_waitid && a[0] == kPidfdWait && a[1] == INT_MAX) {
        errno = EINVAL;
        return -1;
    }
    static const auto next = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
    return next(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
