#pragma once

#include "core/EventPump.h"

namespace pelorix
{

// The event pump of the window: waits inside the Qt event loop, so every wait keeps the window alive.
class QtEventPump final : public EventPump
{
  public:
    // Sleeps in the event loop until an event arrives (and is handled) or maxWait has passed.
    void waitForEvents(std::chrono::milliseconds maxWait) override;
    // QCoreApplication::processEvents().
    void processPendingEvents() override;
};

} // namespace pelorix
