#pragma once

#include "platform/UniqueFd.h"

#include <csignal>
#include <iterator>

namespace pelorix
{

// SIGTERM, SIGINT and SIGHUP (a session's logout, Ctrl+C, a closed terminal) made into something an event
// loop can wait for: while the object lives, each of them writes its number as one byte into a pipe whose
// read end is fd(), and nothing else happens in the handler. The loop watches fd() and ends in order.
// One object at a time per process; its end puts back the handlers it found.
class QuitSignals
{
  public:
    QuitSignals();
    ~QuitSignals();
    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    // False when the pipe or a handler could not be set up; the signals then keep their former action.
    bool active() const { return m_active; }
    // Readable once one of the signals arrived.
    int fd() const { return m_read.get(); }
    // Empties the pipe and returns the last signal in it, 0 when none arrived since the last call.
    int take();

    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

  private:
    UniqueFd m_read;
    UniqueFd m_write;
    struct sigaction m_previous[std::size(kSignals)] = {};
    bool m_active = false;
};

} // namespace pelorix
