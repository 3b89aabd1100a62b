/* Preloaded into the peer tools by bench/ntfs_bench_common.sh so that their
 * timings measure their work, not their waiting:
 *  - sleep() returns after 10 ms: partclone's progress thread sleeps 2 s per
 *    tick and the main thread joins it at the end, which rounds partclone's
 *    wall time up to the next tick.
 *  - with BENCH_SHIM_NO_FSYNC=1, fsync() and fdatasync() return at once, for
 *    comparisons where no tool flushes its output (then preloaded into our
 *    runners as well, since our engine fsyncs its image volumes too). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

unsigned int sleep(unsigned int seconds)
{
    struct timespec tick = {0, 10 * 1000 * 1000};
    (void)seconds;
    nanosleep(&tick, NULL);
    return 0;
}

static int skip_fsync(void)
{
    const char* value = getenv("BENCH_SHIM_NO_FSYNC");
    return value && value[0] == '1';
}

int fsync(int fd)
{
    static int (*real)(int);
    if (skip_fsync())
        return 0;
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(fd);
}

int fdatasync(int fd)
{
    static int (*real)(int);
    if (skip_fsync())
        return 0;
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    return real(fd);
}
