/*
 * The rig's null-modem cable: two pseudo-terminals in raw mode, each slave
 * reachable through a link, and the bytes written to one slave delivered to
 * the other, in both directions.
 *
 *   ptyrelay LINK_A LINK_B
 *
 * Each direction has a buffer of its own and waits only for its own
 * reader: a side that does not read holds back what is sent to it, never
 * what it sends, as a serial line does.  (A relay that stops reading both
 * ends once one write blocks stalls a full-duplex exchange.)
 *
 * SIGTERM, SIGINT or SIGHUP remove the links and end the relay; closing the
 * masters is pulling the cable: the programs on the slaves see their I/O
 * fail.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#define BUFFER_SIZE 65536

struct end {
    const char *link;
    int master;
    /* Held open so the master never reads a hang-up between two programs
     * opening the port, and so the raw mode set here stays. */
    int slave;
};

/* Bytes read from one end's master, not yet written to the other's. */
struct direction {
    struct end *from;
    struct end *to;
    char buffer[BUFFER_SIZE];
    size_t start;
    size_t length;
};

static volatile sig_atomic_t stop_requested;

static void request_stop(int signal_number)
{
    (void)signal_number;
    stop_requested = 1;
}

static void fail(const char *what)
{
    fprintf(stderr, "ptyrelay: %s: %s\n", what, strerror(errno));
    exit(1);
}

static void open_end(struct end *end)
{
    struct termios raw;
    const char *slave_name;

    end->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (end->master < 0)
        fail("posix_openpt");
    if (grantpt(end->master) < 0 || unlockpt(end->master) < 0)
        fail("unlocking the pty");
    slave_name = ptsname(end->master);
    if (!slave_name)
        fail("ptsname");
    end->slave = open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (end->slave < 0)
        fail(slave_name);
    if (tcgetattr(end->slave, &raw) < 0)
        fail("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(end->slave, TCSANOW, &raw) < 0)
        fail("tcsetattr");
    unlink(end->link);
    if (symlink(slave_name, end->link) < 0)
        fail(end->link);
    fprintf(stderr, "ptyrelay: %s -> %s\n", end->link, slave_name);
}

/* False when the master failed for good. */
static int move_in(struct direction *d)
{
    ssize_t got;

    if (d->length != 0)
        return 1;
    got = read(d->from->master, d->buffer, sizeof d->buffer);
    if (got > 0) {
        d->start = 0;
        d->length = (size_t)got;
        return 1;
    }
    return got < 0 && (errno == EAGAIN || errno == EINTR);
}

static int move_out(struct direction *d)
{
    ssize_t put;

    if (d->length == 0)
        return 1;
    put = write(d->to->master, d->buffer + d->start, d->length);
    if (put > 0) {
        d->start += (size_t)put;
        d->length -= (size_t)put;
        return 1;
    }
    return put < 0 && (errno == EAGAIN || errno == EINTR);
}

int main(int argc, char **argv)
{
    static struct end ends[2];
    static struct direction directions[2];
    struct sigaction on_stop;
    sigset_t blocked, during_poll;
    int i;

    if (argc != 3) {
        fprintf(stderr, "usage: ptyrelay LINK_A LINK_B\n");
        return 2;
    }
    memset(&on_stop, 0, sizeof on_stop);
    on_stop.sa_handler = request_stop;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    /* Delivered only inside ppoll, so none is missed between two polls. */
    sigprocmask(SIG_BLOCK, &blocked, &during_poll);
    sigdelset(&during_poll, SIGTERM);
    sigdelset(&during_poll, SIGINT);
    sigdelset(&during_poll, SIGHUP);
    sigaction(SIGTERM, &on_stop, NULL);
    sigaction(SIGINT, &on_stop, NULL);
    sigaction(SIGHUP, &on_stop, NULL);

    for (i = 0; i < 2; ++i) {
        ends[i].link = argv[1 + i];
        open_end(&ends[i]);
    }
    directions[0].from = &ends[0];
    directions[0].to = &ends[1];
    directions[1].from = &ends[1];
    directions[1].to = &ends[0];

    while (!stop_requested) {
        struct pollfd polled[2];
        int broken = 0;

        /* polled[i] is end i: it is read for the direction it feeds while
         * that buffer is empty, written while the other direction's holds
         * bytes for it. */
        for (i = 0; i < 2; ++i) {
            polled[i].fd = ends[i].master;
            polled[i].events = (short)((directions[i].length == 0 ? POLLIN : 0) |
                                       (directions[1 - i].length != 0 ? POLLOUT : 0));
            polled[i].revents = 0;
        }
        if (ppoll(polled, 2, NULL, &during_poll) < 0) {
            if (errno == EINTR)
                continue;
            fail("ppoll");
        }
        for (i = 0; i < 2; ++i) {
            if (polled[i].revents & (POLLIN | POLLHUP | POLLERR))
                broken |= !move_in(&directions[i]);
            /* Written at once too: the buffer may have just filled. */
            broken |= !move_out(&directions[i]);
        }
        if (broken) {
            fprintf(stderr, "ptyrelay: a master failed: %s\n", strerror(errno));
            break;
        }
    }
    for (i = 0; i < 2; ++i)
        unlink(ends[i].link);
    return 0;
}
