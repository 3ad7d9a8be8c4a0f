/*
 * LD_PRELOAD library for the program's Wine process: records the line
 * settings Wine asks the kernel for on each serial port.
 *
 * Why: the tests' COM ports are ptys, and the Linux pty driver ignores
 * CSIZE and PARENB (it keeps CS8, no parity), and it has no custom baud
 * divisor. Reading termios back at the pty therefore cannot show data
 * bits, parity, or rates like 14400 that Wine sets through TIOCSSERIAL.
 * This library sees the requests themselves.
 *
 * Each request is appended to the file named by TV_TERMIOS_LOG as one line:
 *   T <path> <iflag> <cflag> <ospeed>            (tcsetattr)
 *   S <path> <baud_base> <custom_divisor> <flags> (TIOCSSERIAL)
 *   M <path> <DTR and RTS bits>                   (TIOCMSET/BIS/BIC)
 * For ptys the library also makes the port behave like a real UART
 * towards the process: tcgetattr reports the data bits and parity last
 * set (Wine reads the termios before each change, and would otherwise
 * put back CS8 and no parity itself), and TIOCGSERIAL/TIOCSSERIAL are
 * answered as a 16550 with a fast clock would, so Wine's custom-rate path
 * runs as it does on hardware. Modem lines (TIOCMGET and friends, which a
 * pty refuses, so Wine's EscapeCommFunction(SETDTR) and
 * GetCommModemStatus would fail) are kept here: DTR and RTS as set, and
 * CTS/DSR/RI/CD read from the file $TV_MODEM_DIR/<pts number>, a decimal
 * TIOCM_* mask the test writes (no file: all low). A port whose driver
 * keeps its configuration for seconds (Bluetooth out of reach, a hung
 * adapter) is played by $TV_MODEM_DIR/<pts number>.stall: each tcsetattr
 * on it first waits that many milliseconds.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

/* Divisible by every rate in the program's list that Linux has no Bnnn
 * constant for (256000, 128000, 14400, 7200). */
#define FAKE_BAUD_BASE 2304000

static int fd_path(int fd, char *path, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, size - 1);
    if (n < 0) return -1;
    path[n] = '\0';
    return 0;
}

static void record(const char *line) {
    const char *log = getenv("TV_TERMIOS_LOG");
    if (!log || !*log) return;
    int saved = errno;
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        /* One write per line: O_APPEND keeps lines from two processes whole. */
        ssize_t ignored = write(fd, line, strlen(line));
        (void)ignored;
        close(fd);
    }
    errno = saved;
}

static int is_pty(const char *path) { return strncmp(path, "/dev/pts/", 9) == 0; }

#define MAX_FD 4096
#define PTY_DROPS (CSIZE | PARENB | PARODD | CMSPAR)

/* What was last set per descriptor (small fds only), remembered with the
 * path so that a reused descriptor number does not inherit it. */
static struct {
    char path[64];
    int has_cflag;
    tcflag_t cflag;
    int serial_flags;
    int modem_out;
} fds[MAX_FD];

static int same_port(int fd, const char *path) {
    return fd >= 0 && fd < MAX_FD && strcmp(fds[fd].path, path) == 0;
}

static void remember_path(int fd, const char *path) {
    if (fd < 0 || fd >= MAX_FD || same_port(fd, path)) return;
    memset(&fds[fd], 0, sizeof fds[fd]);
    snprintf(fds[fd].path, sizeof fds[fd].path, "%s", path);
    fds[fd].modem_out = TIOCM_DTR | TIOCM_RTS;  /* raised on open, as a tty does */
}

/* The number in the test's file $TV_MODEM_DIR/<pts number><suffix>, 0 when
 * there is none. */
static int number_for(const char *path, const char *suffix) {
    const char *dir = getenv("TV_MODEM_DIR");
    if (!dir || !*dir) return 0;
    char name[600];
    snprintf(name, sizeof name, "%s/%s%s", dir, path + 9, suffix);
    int saved = errno, n = 0;
    FILE *f = fopen(name, "re");
    if (f) {
        if (fscanf(f, "%d", &n) != 1) n = 0;
        fclose(f);
    }
    errno = saved;
    return n;
}

static int modem_inputs(const char *path) {
    return number_for(path, "") & (TIOCM_CTS | TIOCM_DSR | TIOCM_RI | TIOCM_CD);
}

static void stall_if_asked(const char *path) {
    int ms = number_for(path, ".stall");
    int saved = errno;
    if (ms > 0) usleep((useconds_t)ms * 1000);
    errno = saved;
}

/* Wine sets a rate with no Bnnn constant as TIOCSSERIAL (custom divisor)
 * followed by cfsetospeed(B38400); a standard rate, 38400 included, as
 * cfsetospeed alone, leaving an earlier custom divisor in force (so on
 * hardware 38400 after 14400 stays 14400). Here a standard rate ends the
 * custom one, as it does on Windows. Wine makes these calls on one thread
 * in this order, which the per-thread state below follows. */
static __thread int custom_pending, speed_requested, speed_is_custom;

int cfsetospeed(struct termios *t, speed_t speed) {
    static int (*real)(struct termios *, speed_t);
    if (!real) real = (int (*)(struct termios *, speed_t))dlsym(RTLD_NEXT, "cfsetospeed");
    speed_requested = 1;
    speed_is_custom = custom_pending && speed == B38400;
    custom_pending = 0;
    return real(t, speed);
}

static int real_tcgetattr(int fd, struct termios *t) {
    static int (*real)(int, struct termios *);
    if (!real) real = (int (*)(int, struct termios *))dlsym(RTLD_NEXT, "tcgetattr");
    return real(fd, t);
}

int tcsetattr(int fd, int actions, const struct termios *t) {
    static int (*real)(int, int, const struct termios *);
    if (!real) real = (int (*)(int, int, const struct termios *))dlsym(RTLD_NEXT, "tcsetattr");
    char path[512], line[700];
    if (t && fd_path(fd, path, sizeof path) == 0) {
        snprintf(line, sizeof line, "T %s %u %u %u\n", path, (unsigned)t->c_iflag, (unsigned)t->c_cflag,
                 (unsigned)cfgetospeed(t));
        record(line);
        if (is_pty(path)) stall_if_asked(path);
        if (is_pty(path) && fd >= 0 && fd < MAX_FD) {
            remember_path(fd, path);
            fds[fd].has_cflag = 1;
            fds[fd].cflag = t->c_cflag;
            if (speed_requested && !speed_is_custom && (fds[fd].serial_flags & ASYNC_SPD_MASK)) {
                fds[fd].serial_flags &= ~ASYNC_SPD_MASK;
                snprintf(line, sizeof line, "S %s %d 0 %d\n", path, FAKE_BAUD_BASE, fds[fd].serial_flags);
                record(line);
            }
        }
    }
    speed_requested = 0;
    int r = real(fd, actions, t);
    if (r == -1 && errno == EINVAL && t && fd_path(fd, path, sizeof path) == 0 && is_pty(path)) {
        /* Linux fails a tcsetattr none of whose changes it could make, so a
         * change of data bits or parity alone fails on a pty. A UART takes
         * it: ask again with the bits the pty keeps anyway. */
        struct termios now, again = *t;
        if (real_tcgetattr(fd, &now) == 0) {
            again.c_cflag = (t->c_cflag & ~PTY_DROPS) | (now.c_cflag & PTY_DROPS);
            r = real(fd, actions, &again);
        }
    }
    return r;
}

int tcgetattr(int fd, struct termios *t) {
    int r = real_tcgetattr(fd, t);
    char path[512];
    if (r == 0 && t && fd >= 0 && fd < MAX_FD && fds[fd].has_cflag && fd_path(fd, path, sizeof path) == 0 &&
        same_port(fd, path))
        t->c_cflag = (t->c_cflag & ~PTY_DROPS) | (fds[fd].cflag & PTY_DROPS);
    return r;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);

    if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) {
        char path[512];
        if (fd >= 0 && fd < MAX_FD && fd_path(fd, path, sizeof path) == 0 && is_pty(path)) {
            int *bits = (int *)arg;
            if (!bits) {
                errno = EFAULT;
                return -1;
            }
            remember_path(fd, path);
            const int outs = TIOCM_DTR | TIOCM_RTS;
            if (request == TIOCMGET) {
                *bits = fds[fd].modem_out | modem_inputs(path);
                return 0;
            }
            if (request == TIOCMSET) fds[fd].modem_out = *bits & outs;
            else if (request == TIOCMBIS) fds[fd].modem_out |= *bits & outs;
            else fds[fd].modem_out &= ~(*bits & outs);
            char line[700];
            snprintf(line, sizeof line, "M %s %d\n", path, fds[fd].modem_out);
            record(line);
            return 0;
        }
    }
    if (request == TIOCGSERIAL || request == TIOCSSERIAL) {
        char path[512];
        if (fd_path(fd, path, sizeof path) == 0 && is_pty(path)) {
            struct serial_struct *s = (struct serial_struct *)arg;
            if (!s) {
                errno = EFAULT;
                return -1;
            }
            if (request == TIOCGSERIAL) {
                memset(s, 0, sizeof *s);
                s->type = PORT_16550A;
                s->baud_base = FAKE_BAUD_BASE;
                s->flags = same_port(fd, path) ? fds[fd].serial_flags : 0;
                s->xmit_fifo_size = 16;
                return 0;
            }
            char line[700];
            snprintf(line, sizeof line, "S %s %d %d %d\n", path, s->baud_base, s->custom_divisor, s->flags);
            record(line);
            if (fd >= 0 && fd < MAX_FD) {
                remember_path(fd, path);
                fds[fd].serial_flags = s->flags;
            }
            custom_pending = (s->flags & ASYNC_SPD_MASK) == ASYNC_SPD_CUST;
            return 0;
        }
    }
    return real(fd, request, arg);
}
