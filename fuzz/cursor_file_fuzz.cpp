// cr.data, the cursor file in the working folder: whatever file of that name is there.

#include "FuzzSupport.h"

#include "platform/AtomicFile.h"
#include "platform/widgets/CursorFile.h"

#include <QGuiApplication>
#include <QPixmap>

#include <cstdlib>

using namespace pelorix;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's image readers warn about every malformed file; millions of runs would bury the fuzzer's own output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // Its own arguments, so that Qt never takes one of the fuzzer's. Never destroyed: the fuzzer leaves through
    // exit(), and pixmaps need the application for the whole run.
    static int argc = 1;
    static char name[] = "cursor_file_fuzz";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string path = fuzz::scratchFolder() + "cr.data";
    fuzz::require(writeFileAtomically(path, fuzz::asText(data, size)), "cr.data written for the run");
    const std::optional<QCursor> cursor = loadCursorFile(QString::fromStdString(path));
    if (cursor) {
        const QPixmap pixmap = cursor->pixmap();
        fuzz::require(!pixmap.isNull(), "a cursor without a picture");
        const QPoint hot = cursor->hotSpot();
        fuzz::require(hot.x() >= 0 && hot.y() >= 0 && hot.x() < pixmap.width() && hot.y() < pixmap.height(),
                      "a hot spot outside the picture");
    }
    return 0;
}
