#include "support/GuiTestMain.h"

#include <QApplication>

#include <gtest/gtest.h>

void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

int main(int argc, char **argv)
{
    // Google Test takes its own flags first; Qt sees the rest.
    testing::InitGoogleTest(&argc, argv);
    // Run without a display unless the caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
