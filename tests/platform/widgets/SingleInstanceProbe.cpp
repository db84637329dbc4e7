// A second program for the single-instance tests: runs the single-instance rule for a given
// executable path and reports what became of it.
//
//     single_instance_probe EXECUTABLE [ARGUMENTS...]
//
// Prints "secondary" and exits 0 when another run holds the place (ARGUMENTS were handed to it).
// Prints "primary" and stays, printing "request:" and the arguments of each later run, one per line
// separated by '|', until it is killed.

#include "platform/widgets/SingleInstance.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QStringList arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    pelorix::SingleInstance instance(argv[1]);
    if (instance.claim(arguments) == pelorix::SingleInstance::Role::Secondary) {
        std::printf("secondary\n");
        return 0;
    }
    QObject::connect(&instance, &pelorix::SingleInstance::activationRequested, [](const QStringList &received) {
        std::printf("request:%s\n", received.join(QLatin1Char('|')).toLocal8Bit().constData());
        std::fflush(stdout);
    });
    instance.deliverActivations();
    std::printf("primary\n");
    std::fflush(stdout);
    return app.exec();
}
