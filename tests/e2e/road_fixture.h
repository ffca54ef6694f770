#pragma once

#include "fake_clock.h"
#include "sim_harness.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"

#include <gtest/gtest.h>

namespace telva::test {

// The whole road's surroundings: a fresh profile whose fund hosts point at a simulator
// running as a separate process, reached through a real tinyproxy that demands Basic
// authentication, a personal GOST certificate with its key, a sample report, and a manual
// clock so that the ten-second request spacing costs no real time.
class RoadTest : public ::testing::Test {
protected:
    static constexpr const char* kProxyUser = "buh";
    static constexpr const char* kProxyPassword = "s3cret";

    void SetUp() override;
    void TearDown() override;

    // The proxy's log: which addresses went through it.
    QString proxyLog() const { return proxy_.log(); }
    // "http://" or "https://" + the simulator's host and port, as the host settings hold it.
    QString simHost() const;

    // Over HTTPS: the simulator speaks GOST TLS (--tls), the hosts carry the scheme, and the
    // authority that issued the site's certificate is in "Root" beforehand, as the state's
    // root is on a workstation that reaches such a site.
    bool tls_ = false;
    // More options of the simulator (a delay, say), set before SetUp.
    QStringList simArgs_;

    TempProfile profile_;
    ManualClock clock_;
    std::unique_ptr<SimProcess> sim_;
    TinyproxyFixture proxy_;
    QString personalCert_;
    QString personalKey_;
    QString personalSerial_;
    QString report_;
};

} // namespace telva::test
