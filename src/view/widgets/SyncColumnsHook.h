#pragma once

#include <QObject>

namespace pelorix
{

class ServerTable;

// Runs SyncColumns before the event loop hands out an event: an event filter on the application object,
// which sees every event of the UI thread before its receiver does. It never consumes an event.
// SyncColumns only writes what differs, so a run with nothing to align costs a few comparisons.
class SyncColumnsHook final : public QObject
{
    Q_OBJECT

  public:
    explicit SyncColumnsHook(ServerTable &table);
    ~SyncColumnsHook() override;

    // Installs the hook on the running application; it is removed when the object goes.
    void install();
    void run();
    long long runs() const { return m_runs; }
    static bool isQueuedEvent(const QEvent *event);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    ServerTable &m_table;
    bool m_running = false;
    bool m_installed = false;
    long long m_runs = 0;
};

} // namespace pelorix
