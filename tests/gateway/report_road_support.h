#pragma once

#include "app/clock.h"
#include "app/settings.h"
#include "http_test_server.h"

#include <QList>

namespace telva::test {

// A clock that stands still until the test moves it; a sleep moves it by the time slept.
class ManualClock : public Clock {
public:
    QDateTime now() const override { return now_; }
    void sleep(int milliseconds, Frontend*) override {
        sleeps.append(milliseconds);
        now_ = now_.addMSecs(milliseconds);
    }
    void advance(int milliseconds) { now_ = now_.addMSecs(milliseconds); }

    QList<int> sleeps;

private:
    QDateTime now_{QDate(2026, 3, 5), QTime(14, 7)};
};

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
