// quillabrix-portal: the bundled game server for the run command and the tests.

#include "boundedserver.h"
#include "catalogue.h"
#include "portalservice.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

// Workers answer whole requests only; delays, trickles, endless and large answers may take half of them, so
// that the quick answers always have the other half.
constexpr std::size_t serverThreads = 24;
constexpr std::size_t longWorkSlots = serverThreads / 2;

struct Options
{
    int port = 8642;
    std::string bind = "127.0.0.1";
    QString gamesFolder;
};

void usage(FILE *to)
{
    std::fprintf(to, "usage: quillabrix-portal [--port N] [--bind ADDR] [--games DIR]\n"
                     "  --port N     port to listen on (default 8642, 0 picks a free one)\n"
                     "  --bind ADDR  address to listen on (default 127.0.0.1)\n"
                     "  --games DIR  offer every NAME.swf of DIR as a game (NAME.txt: title, description, colour,\n"
                     "               category; NAME.png: its picture); their ids are kept in DIR/.portal-ids\n");
}

bool parseOptions(int argc, char *argv[], Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            std::exit(0);
        }
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        if (arg == "--port") {
            char *end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || port < 0 || port > 65535)
                return false;
            options.port = int(port);
        } else if (arg == "--bind") {
            options.bind = value;
        } else if (arg == "--games") {
            options.gamesFolder = QString::fromLocal8Bit(value.c_str());
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage(stderr);
        return 2;
    }

    // SIGINT and SIGTERM are taken by one thread that stops the server; every other thread leaves them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    portal::Catalogue catalogue;
    if (!options.gamesFolder.isEmpty()) {
        const QString problem = catalogue.addGamesFolder(options.gamesFolder);
        if (!problem.isEmpty())
            std::cerr << "quillabrix-portal: " << problem.toStdString() << std::endl;
    }

    portal::ServerLimits limits;
    limits.workers = serverThreads;
    portal::BoundedServer server(limits);
    portal::PortalService service(catalogue, longWorkSlots);
    service.install(server);

    const int port = server.bindTo(options.bind, options.port);
    if (port <= 0) {
        std::cerr << "quillabrix-portal: cannot listen on " << options.bind << ':' << options.port << std::endl;
        return 1;
    }
    const bool anyAddress = options.bind == "0.0.0.0" || options.bind == "::";
    const bool ipv6 = options.bind.find(':') != std::string::npos;
    const std::string address = anyAddress ? std::string("127.0.0.1") : ipv6 ? '[' + options.bind + ']' : options.bind;
    const std::string host = address + ':' + std::to_string(port);
    service.setDefaultHost(host);

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.shutdown();
        server.halt(); // also when the server has not started serving yet
    });

    std::cout << "http://" << host << '/' << std::endl;
    const bool ok = server.serve();
    pthread_kill(stopper.native_handle(), SIGTERM); // wakes the stopper when the server ended by itself
    stopper.join();
    return ok ? 0 : 1;
}
