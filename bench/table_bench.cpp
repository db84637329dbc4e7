// Figures of the main window working a table of 10,000 rows, in the Qt event loop (offscreen unless
// QT_QPA_PLATFORM says otherwise): a title click (sort) until the table is repainted, for each of the nine titles;
// the hiding and showing of the ten columns alone; a selection change and a scroll step; and how late the window's
// timer events run while "Update single" waits for a server that does not answer.

#include "core/Dialogs.h"
#include "core/SettingsStore.h"
#include "platform/UniqueFd.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/Forms.h"
#include "shell/widgets/QtEventPump.h"
#include "view/ColumnSort.h"
#include "view/widgets/ColumnListView.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTcpServer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

namespace
{

using namespace pelorix;
using Clock = std::chrono::steady_clock;

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

double millis(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void report(const char *what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1))]; };
    std::printf("%-46s n=%zu p50=%.2f ms p99=%.2f ms max=%.2f ms\n", what, samples.size(), at(0.5), at(0.99),
                samples.back());
}

// Until every posted event, the repaints included, has been handled.
void runUntilIdle(QWidget &window)
{
    QCoreApplication::processEvents();
    window.repaint();
    QCoreApplication::processEvents();
}

// A table of servers in no order: names in mixed case, pings, players, addresses, versions and a few checked rows.
void fill(ServerTable &table, int rows)
{
    std::mt19937 random(42);
    const char *maps[] = {"Harbour", "canyon", "Dunes", "mire", "Citadel"};
    const char *types[] = {"Kessrin", "Talvori", "Druvane", "Pellish", "Morvath"};
    std::vector<std::string> addresses;
    for (int i = 0; i < rows; ++i) {
        const auto r = random();
        table.AppendPlaceholderRow();
        table.PutRowValues(i, r % 7 ? " " : "\xAE", (r % 2 ? "server " : "Server ") + std::to_string(r % 100000),
                           std::to_string(r % 17) + "/16", std::to_string(10 + r % 400), types[r % 5],
                           maps[(r / 5) % 5], r % 3 ? "VEKTA 4" : "VEKTA 4X", r % 2 ? "1.0" : "1.1");
        addresses.push_back("10." + std::to_string(r % 256) + "." + std::to_string((r / 256) % 256) + "." +
                            std::to_string(i % 256) + ":10481");
    }
    table.setColumnItems(ListBox6_ipaddress, addresses);
    for (int i = 0; i < rows; i += 97)
        table.setChecked(i, true);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    int refusedPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        refusedPort = probe.serverPort();
    }
    qputenv("PELORIX_MASTER_HOST", QByteArray("127.0.0.1:") + QByteArray::number(refusedPort));

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "pelorix-table-bench";
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
    services.executableFileName = "table_bench";
    Forms forms(std::move(services));
    TForm1 &form = *forms.Form1();
    form.ui().Timer2->stop();
    form.show();
    runUntilIdle(form);

    constexpr int kRows = 10000;
    // The sort alone, on a table without views.
    {
        ServerTable plain;
        fill(plain, kRows);
        ColumnSorter sorter;
        for (size_t area = 0; area < kSortAreas.size(); ++area) {
            std::vector<double> samples;
            for (int run = 0; run < 5; ++run) {
                const auto t0 = Clock::now();
                sorter.sortByArea(plain, static_cast<int>(area));
                samples.push_back(millis(Clock::now() - t0));
            }
            const std::string what = std::string("engine sort by ") + kSortAreas[area].cliName + ", no views";
            report(what.c_str(), samples);
        }
    }

    ServerTable &table = form.table();
    fill(table, kRows);
    runUntilIdle(form);

    // A title click, from the press on the click area until the table is repainted; every title five times
    // (directions alternate, so each run sorts a table the previous run left in the other order).
    for (size_t area = 0; area < kSortAreas.size(); ++area) {
        QWidget *title = form.ui().sortAreas[area];
        std::vector<double> samples;
        for (int run = 0; run < 5; ++run) {
            const QPointF at(5, 5);
            const auto t0 = Clock::now();
            QMouseEvent press(QEvent::MouseButtonPress, at, title->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(title, &press);
            QMouseEvent release(QEvent::MouseButtonRelease, at, title->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(title, &release);
            runUntilIdle(form);
            samples.push_back(millis(Clock::now() - t0));
        }
        const std::string what = std::string("sort by ") + kSortAreas[area].cliName + ", 10000 rows";
        report(what.c_str(), samples);
    }

    // The hiding and showing that a sort does around its rewrite, alone.
    std::vector<double> hideShow;
    for (int run = 0; run < 20; ++run) {
        const auto t0 = Clock::now();
        table.SetColumnsVisible(false, true);
        table.SetColumnsVisible(true, true);
        runUntilIdle(form);
        hideShow.push_back(millis(Clock::now() - t0));
    }
    report("columns hidden and shown again, 10000 rows", hideShow);

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
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        selection.push_back(millis(Clock::now() - t0));
    }
    report("selection change (press + release), 10000 rows", selection);

    QScrollBar *bar = form.ui().ListBox1_servername->verticalScrollBar();
    std::vector<double> scroll;
    for (int i = 0; i < 500; ++i) {
        const auto t0 = Clock::now();
        bar->triggerAction(i % 100 < 50 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        scroll.push_back(millis(Clock::now() - t0));
    }
    report("scroll-bar step, columns realigned, 10000 rows", scroll);

    // "Update single" of a server that never answers (a bound socket that never reads): a 2 ms timer measures how
    // late the window's events run during the receive windows and the closing pause.
    UniqueFd silent(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    ::bind(silent.get(), reinterpret_cast<sockaddr *>(&local), sizeof local);
    ::getsockname(silent.get(), reinterpret_cast<sockaddr *>(&local), &length);
    table.setCell(ListBox6_ipaddress, 0, "127.0.0.1:" + std::to_string(ntohs(local.sin_port)));
    for (int c = 0; c < ColumnCount; ++c)
        table.setSelectedIndex(static_cast<Column>(c), 0);
    form.ui().Updatesingle1->setEnabled(true);
    std::vector<double> lateness;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    auto last = Clock::now();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        lateness.push_back(std::max(0.0, millis(now - last) - 2.0));
        last = now;
    });
    tick.start(2);
    last = Clock::now();
    const auto updateStart = Clock::now();
    form.Updatesingle1Click();
    tick.stop();
    std::printf("%-46s %.0f ms\n", "update single, silent server, whole handler", millis(Clock::now() - updateStart));
    report("event lateness during update single", lateness);

    std::fflush(stdout);
    std::filesystem::remove_all(folder);
    return 0;
}
