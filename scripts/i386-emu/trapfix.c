/* Preloaded into every 32-bit program that qemu-i386 runs for us.
 *
 * QEMU's user-mode emulation delivers SIGSEGV, SIGILL, SIGBUS, SIGFPE and
 * SIGTRAP with sigcontext.trapno = -1. The 32-bit Wine loader decides by that
 * number what a fault was (a page fault, a breakpoint, a division by zero),
 * so it turned every access violation and guard-page hit into an illegal
 * instruction ("Got unexpected trap -1") and the programs crashed. This
 * library stands between the program and those five signals: it rebuilds
 * the number from the signal and its si_code, as the x86 kernel would have
 * set it, and then calls the program's own handler.
 *
 * It also takes itself out of LD_PRELOAD at start-up, so that the 64-bit
 * programs that a 32-bit one starts (Wine's server) never try to load it; the
 * 32-bit ones get it again from the interpreter wrapper. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <ucontext.h>

/* x86 exception vectors, as the kernel reports them in trapno. */
enum {
    kDivide = 0,
    kDebug = 1,
    kBreakpoint = 3,
    kOverflow = 4,
    kInvalidOpcode = 6,
    kProtection = 13,
    kPageFault = 14,
    kFloatingPoint = 16,
    kAlignment = 17,
};

typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);

static SigactionFn real_sigaction;
/* What the program installed for each repaired signal, and whether it did. */
static struct sigaction installed[NSIG];
static int wrapped[NSIG];

static int Repaired(int sig) {
    return sig == SIGSEGV || sig == SIGILL || sig == SIGBUS || sig == SIGFPE || sig == SIGTRAP;
}

static int TrapNumber(int sig, int code) {
    switch (sig) {
    case SIGSEGV:
        return code == SEGV_MAPERR || code == SEGV_ACCERR ? kPageFault : kProtection;
    case SIGBUS:
        return code == BUS_ADRALN ? kAlignment : kPageFault;
    case SIGILL:
        return kInvalidOpcode;
    case SIGFPE:
        return code == FPE_INTDIV ? kDivide : code == FPE_INTOVF ? kOverflow : kFloatingPoint;
    default: /* SIGTRAP */
        return code == TRAP_TRACE ? kDebug : kBreakpoint;
    }
}

static void Repair(int sig, siginfo_t* info, void* context) {
    ucontext_t* uc = context;
    if (uc && uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
        uc->uc_mcontext.gregs[REG_TRAPNO] = TrapNumber(sig, info ? info->si_code : 0);
    const struct sigaction* sa = &installed[sig];
    if (sa->sa_flags & SA_SIGINFO)
        sa->sa_sigaction(sig, info, context);
    else if (sa->sa_handler != SIG_DFL && sa->sa_handler != SIG_IGN)
        sa->sa_handler(sig);
}

static SigactionFn Real(void) {
    if (!real_sigaction)
        real_sigaction = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    return real_sigaction;
}

static int Handles(const struct sigaction* sa) {
    return sa->sa_handler != SIG_DFL && sa->sa_handler != SIG_IGN;
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    if (!Real()) {
        errno = ENOSYS;
        return -1;
    }
    if (sig <= 0 || sig >= NSIG || !Repaired(sig))
        return real_sigaction(sig, act, old);
    /* act and old may be the same structure: read the new action before
     * anything writes the old one. */
    struct sigaction wanted;
    if (act)
        wanted = *act;
    const struct sigaction kept = installed[sig];
    const int keptWrapped = wrapped[sig];
    struct sigaction previous;
    int result;
    if (act && Handles(&wanted)) {
        /* Repair is live in the kernel from the call on: the program's
         * handler must already be there for it, or a fault in between
         * would go to the old one (or to none, and repeat for ever). */
        installed[sig] = wanted;
        wrapped[sig] = 1;
        struct sigaction mine = wanted;
        mine.sa_flags |= SA_SIGINFO;
        mine.sa_sigaction = Repair;
        result = real_sigaction(sig, &mine, &previous);
    } else {
        /* Until the kernel has the default or ignoring action, Repair may
         * still run and needs the old handler. */
        result = real_sigaction(sig, act ? &wanted : NULL, &previous);
        if (result == 0 && act) {
            installed[sig] = wanted;
            wrapped[sig] = 0;
        }
    }
    if (result != 0) {
        installed[sig] = kept;
        wrapped[sig] = keptWrapped;
        return result;
    }
    /* The program sees its own handler, never ours. */
    if (old)
        *old = keptWrapped ? kept : previous;
    return 0;
}

/* Removes this library's own entry, the first of LD_PRELOAD, which the
 * wrapper put there; entries of the caller's stay. */
__attribute__((constructor)) static void LeavePreload(void) {
    const char* self = getenv("KR_I386_TRAPFIX");
    const char* list = getenv("LD_PRELOAD");
    if (!self || !list)
        return;
    size_t n = strlen(self);
    if (strncmp(list, self, n) == 0 && (list[n] == ':' || list[n] == 0)) {
        if (list[n] == ':')
            setenv("LD_PRELOAD", list + n + 1, 1);
        else
            unsetenv("LD_PRELOAD");
    }
    unsetenv("KR_I386_TRAPFIX");
}
