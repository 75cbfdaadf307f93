/* Preloaded into every 32-bit Wine process run under qemu-i386 (qemu 7.2).
 * qemu treats MAP_FIXED_NOREPLACE as a mere hint and maps elsewhere instead
 * of failing; Wine, reserving its address space, then recurses over the
 * misplaced blocks 64 KiB at a time: some 130,000 mmap calls and about 50 s
 * per process start, and at times the shared user data page is lost. Give
 * Wine the failure the kernel would have given.
 *
 * Built freestanding (gcc -m32 -nostdlib), so no 32-bit libc headers are
 * needed: the few libc functions used are declared here and bound at load. */
typedef unsigned int size_t;
typedef long long off64_t;

#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void *)-1)
#define EEXIST 17
#define RTLD_NEXT ((void *)-1l)

extern void *dlsym(void *handle, const char *name);
extern int *__errno_location(void);
extern int munmap(void *addr, size_t len);
extern int unsetenv(const char *name);

typedef void *mmap64_fn(void *, size_t, int, int, int, off64_t);
static mmap64_fn *real_mmap64;

/* 64-bit children (the wineserver) would warn about a library of the wrong
 * class; the runner sets LD_PRELOAD again for each 32-bit process. */
__attribute__((constructor)) static void drop_preload(void) { unsetenv("LD_PRELOAD"); }

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    if (!real_mmap64)
        real_mmap64 = (mmap64_fn *)dlsym(RTLD_NEXT, "mmap64");
    void *p = real_mmap64(addr, len, prot, flags, fd, off);
    if ((flags & MAP_FIXED_NOREPLACE) && p != MAP_FAILED && p != addr) {
        munmap(p, len);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return p;
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, long off)
{
    return mmap64(addr, len, prot, flags, fd, (unsigned long)off);
}
