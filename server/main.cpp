// quillabrix-portal: the bundled game server for the run command and the tests.

#include "catalogue.h"
#include "portalservice.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

// Trickling downloads and the clients' keep-alive connections each hold a thread.
constexpr std::size_t serverThreads = 32;

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
                     "               category; NAME.png: its picture)\n");
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

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(serverThreads); };
    // Short, so that idle keep-alive connections do not hold up a stop.
    server.set_keep_alive_timeout(1);
    portal::PortalService service(catalogue);
    service.install(server);

    const int port = options.port == 0 ? server.bind_to_any_port(options.bind)
                                       : (server.bind_to_port(options.bind, options.port) ? options.port : -1);
    if (port <= 0) {
        std::cerr << "quillabrix-portal: cannot listen on " << options.bind << ':' << options.port << std::endl;
        return 1;
    }
    const bool anyAddress = options.bind == "0.0.0.0" || options.bind == "::";
    const bool ipv6 = options.bind.find(':') != std::string::npos;
    const std::string address = anyAddress ? std::string("127.0.0.1") : ipv6 ? '[' + options.bind + ']' : options.bind;
    const std::string host = address + ':' + std::to_string(port);
    service.setDefaultHost(host);

    std::atomic<bool> listening{true};
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // A signal can arrive before the server has started running; stop() is a no-op until then.
        while (listening && !server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        service.shutdown();
        server.stop();
    });

    std::cout << "http://" << host << '/' << std::endl;
    const bool ok = server.listen_after_bind();
    listening = false;
    pthread_kill(stopper.native_handle(), SIGTERM); // wakes the stopper when the server ended by itself
    stopper.join();
    return ok ? 0 : 1;
}
