// telva-gateway-sim: the fund's web site and report gateway on loopback.
#include "crypto/gost_engine.h"
#include "fund_pki.h"
#include "gateway.h"
#include "options.h"
#include "report_store.h"
#include "request_log.h"
#include "tls_server.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

namespace {

int fail(const std::string& text) {
    std::cerr << "telva-gateway-sim: " << text << "\n";
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    sim::Options options;
    std::string error;
    if (!sim::parseOptions(argc, argv, options, error))
        return fail(error);
    if (options.help) {
        std::cout << sim::helpText();
        return 0;
    }
    if (options.listReceived) {
        std::cout << sim::ReportStore(options.stateDir).listReceived();
        return 0;
    }
    if (telva::Status engine = telva::crypto::ensureGostEngine(); !engine)
        return fail(engine.text().toStdString());

    sim::FundPki pki;
    if (!pki.loadOrCreate(options.stateDir, options.gost2012, error))
        return fail(error);
    if (!options.issuePersonalDir.empty()) {
        if (!pki.issuePersonal(options.personal, options.issuePersonalDir, error))
            return fail(error);
        std::cout << "personal key and certificate written to " << options.issuePersonalDir << "\n";
        return 0;
    }

    sim::RequestLog log;
    if (!options.logFile.empty() && !log.open(options.logFile))
        return fail("cannot open the log file " + options.logFile);
    sim::ReportStore store(options.stateDir);
    sim::Gateway gateway(options, pki, store, log);
    std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>();
    if (options.tls) {
        if (!pki.issueTlsServer(options.stateDir, options.host, options.tlsRsa, error))
            return fail(error);
        server = sim::makeTlsServer(pki, options.tlsRsa, error);
        if (!server)
            return fail(error);
    }
    httplib::Server& listener = *server;
    gateway.install(listener);

    // Signals are taken by one thread that stops the server; block them everywhere else.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    int port = options.port;
    if (port == 0) {
        port = listener.bind_to_any_port(options.host);
        if (port < 0)
            return fail("cannot listen on " + options.host);
    } else if (!listener.bind_to_port(options.host, port)) {
        return fail("cannot listen on " + options.host + ":" + std::to_string(port));
    }
    std::thread stopper([&] {
        int received = 0;
        sigwait(&signals, &received);
        listener.stop();
    });
    stopper.detach();

    log.line("state folder " + options.stateDir);
    if (options.tls)
        log.line(options.tlsRsa ? "https, RSA server certificate"
                                : "https, GOST R 34.10-2012 server certificate, GOST suites");
    std::cout << "listening on " << options.host << ":" << port << std::endl;
    listener.listen_after_bind();
    log.line("stopped");
    return 0;
}
