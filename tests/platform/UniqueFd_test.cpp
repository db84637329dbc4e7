#include "platform/UniqueFd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

using namespace pelorix;

namespace
{

// A descriptor number that is open in this process.
bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

// Closed, by the system's own account: the number no longer names anything.
bool isClosed(int fd)
{
    errno = 0;
    return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

// Two fresh descriptors, the ends of a pipe.
std::pair<int, int> twoDescriptors()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        ADD_FAILURE() << "pipe2 failed";
    return {ends[0], ends[1]};
}

} // namespace

TEST(UniqueFd, ClosesWhatItHoldsWhenItGoes)
{
    const auto [a, b] = twoDescriptors();
    {
        const UniqueFd first(a);
        const UniqueFd second(b);
        EXPECT_EQ(first.get(), a);
        EXPECT_TRUE(first.valid());
        EXPECT_TRUE(isOpen(a));
    }
    EXPECT_TRUE(isClosed(a));
    EXPECT_TRUE(isClosed(b));

    const UniqueFd empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.get(), -1);
}

TEST(UniqueFd, MovingHandsOverTheOneDescriptor)
{
    const auto [a, b] = twoDescriptors();
    UniqueFd source(a);
    UniqueFd built(std::move(source));
    EXPECT_EQ(built.get(), a);
    // The moved-from owner holds nothing, so resetting it closes nothing.
    EXPECT_FALSE(source.valid());
    source.reset();
    EXPECT_TRUE(isOpen(a));

    // Assigning closes what the target held before.
    UniqueFd target(b);
    target = std::move(built);
    EXPECT_TRUE(isClosed(b));
    EXPECT_EQ(target.get(), a);
    EXPECT_TRUE(isOpen(a));

    // Assigning an owner to itself keeps the descriptor open.
    UniqueFd &same = target;
    target = std::move(same);
    EXPECT_EQ(target.get(), a);
    EXPECT_TRUE(isOpen(a));

    target = UniqueFd();
    EXPECT_TRUE(isClosed(a));
}

TEST(UniqueFd, ResetClosesTheOldDescriptorAndTakesTheNew)
{
    const auto [a, b] = twoDescriptors();
    UniqueFd fd(a);
    fd.reset(b);
    EXPECT_TRUE(isClosed(a));
    EXPECT_EQ(fd.get(), b);

    // The descriptor it already holds is not closed under it.
    fd.reset(b);
    EXPECT_TRUE(isOpen(b));

    fd.reset();
    EXPECT_TRUE(isClosed(b));
    EXPECT_FALSE(fd.valid());
}

TEST(UniqueFd, ReleaseGivesUpTheDescriptorWithoutClosingIt)
{
    const auto [a, b] = twoDescriptors();
    const UniqueFd other(b);
    int released = -1;
    {
        UniqueFd fd(a);
        released = fd.release();
        EXPECT_FALSE(fd.valid());
    }
    EXPECT_EQ(released, a);
    EXPECT_TRUE(isOpen(a));
    ::close(a);
}

TEST(UniqueFd, CloseReportsWhetherTheSystemClosedIt)
{
    const auto [a, b] = twoDescriptors();
    const UniqueFd other(b);
    UniqueFd fd(a);
    EXPECT_TRUE(fd.close());
    EXPECT_TRUE(isClosed(a));
    EXPECT_FALSE(fd.valid());
    // Nothing left to close: a second close, or one on an empty owner, is a failure, not a success.
    EXPECT_FALSE(fd.close());
    EXPECT_FALSE(UniqueFd().close());
}
