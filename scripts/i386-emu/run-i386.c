/* The binfmt_misc interpreter of 32-bit x86 Linux programs on a kernel that
 * cannot run them: runs the program under qemu-i386 with the trap-number
 * repair library preloaded.
 *
 * Registered with the flags P and F, the kernel calls it as
 *   run-i386 /full/path/of/program original-argv0 arguments...
 * and it runs
 *   qemu-i386 -0 original-argv0 -E LD_PRELOAD=LIB[:previous] -E KR_I386_TRAPFIX=LIB
 *             /full/path/of/program arguments...
 * The library removes both variables again in the program, so they reach
 * neither its 64-bit children nor the next wrapper twice. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifndef QEMU
#define QEMU "/usr/bin/qemu-i386"
#endif
#ifndef TRAPFIX
#define TRAPFIX "/usr/local/lib/kr-i386/trapfix.so"
#endif

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "run-i386: started with no program; it is a binfmt_misc interpreter\n");
        return 127;
    }
    const char* previous = getenv("LD_PRELOAD");
    size_t size = sizeof "LD_PRELOAD=" + sizeof TRAPFIX + (previous ? strlen(previous) + 1 : 0);
    char* preload = malloc(size);
    if (!preload)
        return 127;
    snprintf(preload, size, "LD_PRELOAD=%s%s%s", TRAPFIX, previous && *previous ? ":" : "",
             previous ? previous : "");

    char** args = calloc((size_t)argc + 8, sizeof *args);
    if (!args)
        return 127;
    int n = 0;
    args[n++] = "qemu-i386";
    args[n++] = "-0";
    args[n++] = argv[2];
    args[n++] = "-E";
    args[n++] = preload;
    args[n++] = "-E";
    args[n++] = "KR_I386_TRAPFIX=" TRAPFIX;
    args[n++] = argv[1];
    for (int i = 3; i < argc; i++)
        args[n++] = argv[i];
    args[n] = NULL;
    execv(QEMU, args);
    perror("run-i386: " QEMU);
    return 127;
}
