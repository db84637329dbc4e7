// Figures of the main window with a large table, in the Qt event loop (offscreen unless QT_QPA_PLATFORM says
// otherwise): a selection change by a mouse press, a scroll step of the name column's scroll bar, each until
// the loop is idle again (the columns aligned and repainted), and the time from start-up to the first paint
// with a master-list service that refuses connections.

#include "core/Dialogs.h"
#include "core/SettingsStore.h"
#include "shell/widgets/Forms.h"
#include "shell/widgets/QtEventPump.h"
#include "view/widgets/ColumnListView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace
{

using namespace pelorix;
using Clock = std::chrono::steady_clock;

// Answers every dialog at once.
class SilentDialogs final : public Dialogs
{
  public:
    DialogAnswer message(DialogKind, const std::string &, DialogButtons buttons) override
    {
        return buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
    std::optional<std::string> saveFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> openFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> prompt(const std::string &, const std::string &, const std::string &, bool) override
    {
        return std::nullopt;
    }
};

// Notes the first paint of the watched window.
class FirstPaint final : public QObject
{
  public:
    bool painted = false;
    Clock::time_point at;

  protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            at = Clock::now();
        }
        return false;
    }
};

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

void report(const char *what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1))]; };
    std::printf("%-40s n=%zu p50=%.0f us p99=%.0f us max=%.0f us\n", what, samples.size(), at(0.5), at(0.99),
                samples.back());
}

void runUntilIdle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    // A port that is listened on by nobody: connections are refused at once.
    int refusedPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        refusedPort = probe.serverPort();
    }
    qputenv("PELORIX_MASTER_HOST", QByteArray("127.0.0.1:") + QByteArray::number(refusedPort));

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "pelorix-window-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    SilentDialogs dialogs;
    QtEventPump pump;
    SettingsStore settings((folder / "settings.reg").string());

    TForm1Services services;
    services.dialogs = &dialogs;
    services.pump = &pump;
    services.settings = &settings;
    services.killProcesses = [](const std::string &) { return false; };
    services.shellOpen = [](const std::string &, const std::string &, const std::string &) { return false; };
    services.programFolder = folder.string() + "/";
    services.executableFileName = "window_bench";

    const auto start = Clock::now();
    FirstPaint firstPaint;
    Forms forms(std::move(services));
    TForm1 &form = *forms.Form1();
    form.ui().Timer2->stop();
    form.installEventFilter(&firstPaint);
    form.show();
    while (!firstPaint.painted && Clock::now() - start < std::chrono::seconds(30))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("%-40s %.1f ms\n", "start-up to first paint (master refusing)",
                std::chrono::duration<double, std::milli>(firstPaint.at - start).count());

    constexpr int kRows = 5000;
    ServerTable &table = form.table();
    std::vector<std::string> addresses;
    for (int i = 0; i < kRows; ++i) {
        const std::string n = std::to_string(i);
        table.AppendPlaceholderRow();
        table.PutRowValues(i, " ", "Server " + n, "3/16", "42", "CTF", "map" + n, "VEKTA 4", "1.1");
        addresses.push_back("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ":10481");
    }
    table.setColumnItems(ListBox6_ipaddress, addresses);
    runUntilIdle();

    QWidget *map = form.ui().ListBox5_mapname->viewport();
    std::vector<double> selection;
    for (int i = 0; i < 500; ++i) {
        const QPointF at(100, (i % 39) * ColumnListView::kRowHeight + 5);
        const auto t0 = Clock::now();
        QMouseEvent press(QEvent::MouseButtonPress, at, map->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(map, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, map->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(map, &release);
        runUntilIdle();
        selection.push_back(micros(Clock::now() - t0));
    }
    report("selection change (press + release), 5000 rows", selection);

    QScrollBar *bar = form.ui().ListBox1_servername->verticalScrollBar();
    std::vector<double> scroll;
    for (int i = 0; i < 500; ++i) {
        const auto t0 = Clock::now();
        bar->triggerAction(i % 100 < 50 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
        runUntilIdle();
        scroll.push_back(micros(Clock::now() - t0));
    }
    report("scroll-bar step, columns realigned", scroll);

    // What a filtered refresh does to the table while the columns are hidden: the row pass deletes most rows,
    // from the last to the first, with the ten views attached.
    table.SetColumnsVisible(false, true);
    runUntilIdle();
    const auto deleteStart = Clock::now();
    int kept = 0;
    for (int i = table.rowCount(ListBox6_ipaddress) - 1; i >= 0; --i) {
        if (i % 16 == 0)
            ++kept;
        else
            table.DeleteRow(i);
    }
    table.SetColumnsVisible(true, true);
    runUntilIdle();
    std::printf("%-40s %.1f ms (%d of %d rows kept)\n", "row pass deletions with the views attached",
                std::chrono::duration<double, std::milli>(Clock::now() - deleteStart).count(), kept, kRows);
    std::fflush(stdout);
    std::filesystem::remove_all(folder);
    return 0;
}
