/*
 * Preloaded into the Wine process (LD_PRELOAD) so that a pseudo-terminal
 * behaves like a serial port with a cable plugged in.
 *
 * Linux ptys have no modem-control lines: TIOCMGET and friends fail with
 * ENOTTY.  Wine's WaitCommEvent reads the modem status on every poll and
 * gives up with an empty event mask when that fails, so a wait on a quiet
 * pty completes within milliseconds instead of blocking, and every wait loop
 * under test spins.  Answering as a port whose peer is powered (CTS, DSR and
 * DCD up) lets the wait block until bytes really arrive.
 *
 * Only failed requests on pty slaves are answered; real ports and every
 * other ioctl go to the C library untouched.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* UNIX98_PTY_SLAVE_MAJOR and the seven majors reserved after it */
#define PTY_SLAVE_MAJOR_FIRST 136
#define PTY_SLAVE_MAJOR_LAST 143

#define PEER_LINES (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR)
#define OWN_LINES (TIOCM_DTR | TIOCM_RTS)

/*
 * DTR/RTS as last set, so a program reading back what it raised sees it.
 * Keyed by fd but tagged with the device, so a recycled fd number on another
 * pty starts afresh (raised, as the kernel does on opening a real port).
 */
#define MAX_FDS 1024
static struct {
    dev_t dev;
    int lines;
} own_lines[MAX_FDS];
static pthread_mutex_t own_lines_lock = PTHREAD_MUTEX_INITIALIZER;

typedef int ioctl_fn(int, unsigned long, void *);

/* Looked up on first use: other libraries' constructors may call ioctl
 * before ours would run. */
static ioctl_fn *real_ioctl(void)
{
    static ioctl_fn *fn;
    ioctl_fn *f = __atomic_load_n(&fn, __ATOMIC_ACQUIRE);

    if (!f) {
        f = (ioctl_fn *)dlsym(RTLD_NEXT, "ioctl");
        __atomic_store_n(&fn, f, __ATOMIC_RELEASE);
    }
    return f;
}

static int is_modem_request(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET
        || request == TIOCMBIS || request == TIOCMBIC;
}

static int pty_slave_device(int fd, dev_t *dev)
{
    struct stat st;

    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    if (major(st.st_rdev) < PTY_SLAVE_MAJOR_FIRST
        || major(st.st_rdev) > PTY_SLAVE_MAJOR_LAST)
        return 0;
    *dev = st.st_rdev;
    return 1;
}

static int answer_modem_request(int fd, dev_t dev, unsigned long request, int *bits)
{
    int lines = OWN_LINES;

    if (!bits) {
        errno = EFAULT;
        return -1;
    }
    if (fd < 0 || fd >= MAX_FDS) {
        if (request == TIOCMGET)
            *bits = PEER_LINES | lines;
        return 0;
    }

    pthread_mutex_lock(&own_lines_lock);
    if (own_lines[fd].dev == dev)
        lines = own_lines[fd].lines;
    switch (request) {
    case TIOCMGET: *bits = PEER_LINES | lines; break;
    case TIOCMSET: lines = *bits & OWN_LINES; break;
    case TIOCMBIS: lines |= *bits & OWN_LINES; break;
    case TIOCMBIC: lines &= ~*bits; break;
    }
    own_lines[fd].dev = dev;
    own_lines[fd].lines = lines;
    pthread_mutex_unlock(&own_lines_lock);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    void *arg;
    ioctl_fn *next = real_ioctl();
    int ret, saved_errno;
    dev_t dev;

    va_start(ap, request);
    arg = va_arg(ap, void *);
    va_end(ap);

    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    ret = next(fd, request, arg);
    if (ret != -1 || !is_modem_request(request) || (errno != ENOTTY && errno != EINVAL))
        return ret;

    saved_errno = errno;
    if (!pty_slave_device(fd, &dev)) {
        errno = saved_errno;
        return ret;
    }
    return answer_modem_request(fd, dev, request, arg);
}
