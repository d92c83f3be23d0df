/* Sits between the trap-number repair library and the C library's
 * sigaction (the test links it after the repair library, so that its
 * RTLD_NEXT lookup finds this one): on request it raises the signal just
 * after the kernel took a new action, the moment a real fault could come,
 * or fails as the kernel would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>

int spy_raise_after; /* raise this signal once the kernel has the action */
int spy_fail_with;   /* fail the next call with this errno */

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);
    static SigactionFn next;
    if (!next)
        next = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    if (spy_fail_with) {
        errno = spy_fail_with;
        spy_fail_with = 0;
        return -1;
    }
    int result = next(sig, act, old);
    if (result == 0 && act && spy_raise_after == sig) {
        spy_raise_after = 0;
        raise(sig);
    }
    return result;
}
