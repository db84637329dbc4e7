#include "platform/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace pelorix
{

namespace
{

// The write end for the handler; -1 while no QuitSignals lives.
std::atomic<int> g_writeEnd{-1};

void onQuitSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        // The pipe does not block: when it is full, a byte is already waiting and this one is not needed.
        const char byte = static_cast<char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_read.reset(ends[0]);
    m_write.reset(ends[1]);
    int expected = -1;
    if (!g_writeEnd.compare_exchange_strong(expected, m_write.get()))
        return;

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls start again: the loop learns of the signal from the pipe alone.
    action.sa_flags = SA_RESTART;
    std::size_t installed = 0;
    for (; installed < std::size(kSignals); ++installed) {
        if (::sigaction(kSignals[installed], &action, &m_previous[installed]) != 0)
            break;
    }
    if (installed == std::size(kSignals)) {
        m_active = true;
        return;
    }
    while (installed > 0) {
        --installed;
        ::sigaction(kSignals[installed], &m_previous[installed], nullptr);
    }
    g_writeEnd.store(-1);
}

QuitSignals::~QuitSignals()
{
    if (!m_active)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    g_writeEnd.store(-1);
}

int QuitSignals::take()
{
    int last = 0;
    char bytes[64];
    for (;;) {
        const ssize_t got = ::read(m_read.get(), bytes, sizeof bytes);
        if (got > 0) {
            last = static_cast<unsigned char>(bytes[got - 1]);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return last;
    }
}

} // namespace pelorix
