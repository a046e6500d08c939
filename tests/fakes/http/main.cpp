// fake-http-server SCENARIO.json REQUEST_LOG.jsonl
// Serves the scripted responses of SCENARIO.json on 127.0.0.1 and prints "PORT <n>" first.
#include "ScenarioServer.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: fake-http-server SCENARIO.json REQUEST_LOG.jsonl\n");
        return 2;
    }
    vantrel::fake::ScenarioServer server(arguments.at(1), arguments.at(2));
    QString error;
    if (!server.listen(&error)) {
        std::fprintf(stderr, "fake-http-server: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("PORT %u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    return application.exec();
}
