/* The bookkeeping of the trap-number repair library (scripts/i386-emu/
 * trapfix.c), built for the host: which handler of the program its wrapper
 * calls, and what the program is told, across replacing, querying and a
 * failing sigaction. */
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

extern int spy_raise_after;
extern int spy_fail_with;

static volatile sig_atomic_t last; /* which handler ran last: 'A', 'B', 'C' */
static void A(int sig) {
    (void)sig;
    last = 'A';
}
static void B(int sig) {
    (void)sig;
    last = 'B';
}
static void C(int sig, siginfo_t* info, void* context) {
    (void)sig, (void)info, (void)context;
    last = 'C';
}

static int failures;
static void Check(int ok, const char* what) {
    if (!ok) {
        printf("FAIL: %s\n", what);
        failures++;
    }
}

/* Raises sig and tells which handler ran. */
static char Runs(int sig) {
    last = 0;
    raise(sig);
    return (char)last;
}

static struct sigaction Action(void (*handler)(int)) {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    return sa;
}

int main(void) {
    /* Every repaired signal the same way; SIGTRAP and SIGILL are raised
     * safely (the handler returns to after raise). */
    const int signals[] = {SIGSEGV, SIGILL, SIGBUS, SIGFPE, SIGTRAP};
    for (unsigned i = 0; i < sizeof signals / sizeof signals[0]; i++) {
        int sig = signals[i];
        struct sigaction sa = Action(A), q;
        Check(sigaction(sig, &sa, NULL) == 0 && Runs(sig) == 'A', "A installed and called");
        Check(sigaction(sig, NULL, &q) == 0 && q.sa_handler == A,
              "a query reports the program's handler");

        /* The new and the old action in one structure. */
        sa = Action(B);
        Check(sigaction(sig, &sa, &sa) == 0, "replacing A by B in place");
        Check(sa.sa_handler == A, "the old action reported in place is A");
        Check(Runs(sig) == 'B', "B runs after an in-place replacement");

        /* A signal the moment the kernel has the new action: the new
         * handler must take it. */
        struct sigaction si;
        memset(&si, 0, sizeof si);
        si.sa_flags = SA_SIGINFO;
        si.sa_sigaction = C;
        last = 0;
        spy_raise_after = sig;
        Check(sigaction(sig, &si, &q) == 0 && q.sa_handler == B, "replacing B by C");
        Check(last == 'C', "a signal right after the kernel took C goes to C");
        Check(Runs(sig) == 'C', "C runs");

        /* A failing call changes nothing and says why. */
        sa = Action(A);
        spy_fail_with = EINVAL;
        errno = 0;
        Check(sigaction(sig, &sa, &q) == -1 && errno == EINVAL, "a failure returns -1 with errno");
        Check(Runs(sig) == 'C', "C still runs after a failed replacement");
        Check(sigaction(sig, NULL, &q) == 0 && q.sa_sigaction == C,
              "C still reported after a failed replacement");

        /* Ignored, then the default again. */
        sa = Action(SIG_IGN);
        Check(sigaction(sig, &sa, &q) == 0 && q.sa_sigaction == C, "ignoring reports C as old");
        Check(Runs(sig) == 0, "an ignored signal runs no handler");
        sa = Action(SIG_DFL);
        Check(sigaction(sig, &sa, &q) == 0 && q.sa_handler == SIG_IGN,
              "the default reports SIG_IGN as old");
        if (failures) {
            printf("with signal %d (%s)\n", sig, strsignal(sig));
            return 1;
        }
    }
    printf("trap library bookkeeping: all checks passed\n");
    return 0;
}
