#pragma once

#include "app/settings.h"
#include "http_test_server.h"

namespace telva::test {

// The three gateways of the fund, each a real local server.
struct Gateways {
    HttpTestServer gate, docGate, testGate;

    void pointAt(Settings& settings) const {
        settings.hosts.gate = gate.hostPort();
        settings.hosts.docGate = docGate.hostPort();
        settings.hosts.testGate = testGate.hostPort();
    }
    qsizetype total() const {
        return gate.requestCount() + docGate.requestCount() + testGate.requestCount();
    }
};

} // namespace telva::test
