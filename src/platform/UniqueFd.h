#pragma once

#include <unistd.h>

#include <utility>

namespace pelorix
{

// A file descriptor closed by the destructor on every path. Movable; -1 holds nothing.
class UniqueFd
{
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }
    // Closes what it holds (errors ignored) and takes fd.
    void reset(int fd = -1)
    {
        const int old = std::exchange(m_fd, fd);
        if (old >= 0 && old != fd)
            ::close(old);
    }
    // Gives up the descriptor without closing it.
    [[nodiscard]] int release() { return std::exchange(m_fd, -1); }
    // Closes now and reports whether close() succeeded.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd >= 0 && ::close(fd) == 0;
    }

  private:
    int m_fd = -1;
};

} // namespace pelorix
