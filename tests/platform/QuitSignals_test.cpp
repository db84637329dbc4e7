#include "platform/QuitSignals.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <csignal>

namespace pelorix
{
namespace
{

bool readableWithin(int fd, int milliseconds)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) == 1 && (entry.revents & POLLIN);
}

void (*currentHandler(int signal))(int)
{
    struct sigaction action = {};
    ::sigaction(signal, nullptr, &action);
    return action.sa_handler;
}

TEST(QuitSignals, EachSignalWakesTheWatcherAndNamesItself)
{
    for (const int signal : QuitSignals::kSignals) {
        SCOPED_TRACE(signal);
        QuitSignals signals;
        ASSERT_TRUE(signals.active());
        EXPECT_FALSE(readableWithin(signals.fd(), 0));
        ASSERT_EQ(::raise(signal), 0);
        EXPECT_TRUE(readableWithin(signals.fd(), 5000));
        EXPECT_EQ(signals.take(), signal);
        EXPECT_FALSE(readableWithin(signals.fd(), 0)) << "taken";
        EXPECT_EQ(signals.take(), 0);
    }
}

TEST(QuitSignals, AStormOfSignalsNeverBlocksTheHandler)
{
    QuitSignals signals;
    ASSERT_TRUE(signals.active());
    // Far more than the pipe holds: a handler that waited for room would never return.
    for (int i = 0; i < 100000; ++i)
        ::raise(i % 2 ? SIGINT : SIGHUP);
    EXPECT_TRUE(readableWithin(signals.fd(), 0));
    const int last = signals.take();
    EXPECT_TRUE(last == SIGINT || last == SIGHUP) << last;
    EXPECT_FALSE(readableWithin(signals.fd(), 0));
}

TEST(QuitSignals, TheEndPutsBackTheFormerHandlersAndOnlyOneWatchesAtATime)
{
    for (const int signal : QuitSignals::kSignals)
        ASSERT_EQ(currentHandler(signal), SIG_DFL) << signal;
    {
        QuitSignals first;
        ASSERT_TRUE(first.active());
        for (const int signal : QuitSignals::kSignals)
            EXPECT_NE(currentHandler(signal), SIG_DFL) << signal;
        // A second watcher would take the signals from the first: it stays inactive and changes nothing.
        QuitSignals second;
        EXPECT_FALSE(second.active());
        ::raise(SIGTERM);
        EXPECT_TRUE(readableWithin(first.fd(), 5000));
        EXPECT_EQ(first.take(), SIGTERM);
    }
    for (const int signal : QuitSignals::kSignals)
        EXPECT_EQ(currentHandler(signal), SIG_DFL) << signal;
}

} // namespace
} // namespace pelorix
