// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// LD_PRELOAD shim that makes the N-th allocation after main starts fail
// (QUARN_FAIL_ALLOC=N); with N = 0 it only counts, and writes the count to
// the file QUARN_ALLOC_COUNT names at exit. Allocations before main (the
// loader, libc and libstdc++ start-up) are neither counted nor failed.
// operator new reaches malloc through the PLT, so it is covered too.

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);
extern void *__libc_memalign(size_t, size_t);

static int armed;
static unsigned long failAt;
static unsigned long count;

// True when this allocation is the one to fail.
static int failsNow(void)
{
    if (!__atomic_load_n(&armed, __ATOMIC_RELAXED))
        return 0;
    const unsigned long n = __atomic_add_fetch(&count, 1, __ATOMIC_RELAXED);
    if (n != failAt)
        return 0;
    errno = ENOMEM;
    return 1;
}

void *malloc(size_t size)
{
    return failsNow() ? NULL : __libc_malloc(size);
}
void *calloc(size_t n, size_t size)
{
    return failsNow() ? NULL : __libc_calloc(n, size);
}
void *realloc(void *p, size_t size)
{
    return failsNow() ? NULL : __libc_realloc(p, size);
}
void *aligned_alloc(size_t alignment, size_t size)
{
    return failsNow() ? NULL : __libc_memalign(alignment, size);
}
void *memalign(size_t alignment, size_t size)
{
    return failsNow() ? NULL : __libc_memalign(alignment, size);
}
int posix_memalign(void **result, size_t alignment, size_t size)
{
    if (failsNow())
        return ENOMEM;
    void *p = __libc_memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *result = p;
    return 0;
}

static void writeCount(void)
{
    const char *path = getenv("QUARN_ALLOC_COUNT");
    if (!path)
        return;
    char text[32];
    const int length = snprintf(text, sizeof text, "%lu\n", __atomic_load_n(&count, __ATOMIC_RELAXED));
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!write(fd, text, (size_t)length);
        close(fd);
    }
}

typedef int (*MainFunction)(int, char **, char **);
static MainFunction realMain;

static int countedMain(int argc, char **argv, char **envp)
{
    const char *n = getenv("QUARN_FAIL_ALLOC");
    failAt = n ? strtoul(n, NULL, 10) : 0;
    atexit(writeCount);
    __atomic_store_n(&armed, 1, __ATOMIC_RELAXED);
    return realMain(argc, argv, envp);
}

// The program's main, wrapped so that counting starts with it.
int __libc_start_main(MainFunction main, int argc, char **argv, void (*init)(void), void (*fini)(void),
                      void (*rtldFini)(void), void *stackEnd)
{
    typedef int (*Start)(MainFunction, int, char **, void (*)(void), void (*)(void), void (*)(void), void *);
    const Start start = (Start)dlsym(RTLD_NEXT, "__libc_start_main");
    realMain = main;
    return start(countedMain, argc, argv, init, fini, rtldFini, stackEnd);
}
