#include "crypto/cert_store.h"
#include "operations/first_steps.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <gtest/gtest.h>

namespace telva {
namespace {

using test::TestPki;

TEST(FirstSteps, TheGapsFollowWhatTheProfileHolds) {
    const TestPki& pki = TestPki::instance();
    const int my = crypto::toIndex(crypto::Store::My);
    const int book = crypto::toIndex(crypto::Store::AddressBook);
    const struct {
        const char* what;
        bool personal, personalKey, fund;
        QList<SigningGap> gaps;
    } cases[] = {
        {"empty profile",
         false,
         false,
         false,
         {SigningGap::PersonalCertificate, SigningGap::FundCertificate}},
        {"personal without its key",
         true,
         false,
         false,
         {SigningGap::PersonalKey, SigningGap::FundCertificate}},
        {"personal only", true, true, false, {SigningGap::FundCertificate}},
        {"fund only", false, false, true, {SigningGap::PersonalCertificate}},
        {"both", true, true, true, {}},
    };
    for (const auto& c : cases) {
        test::TempProfile profile;
        Settings settings;
        // An identity remembered from before counts only while its certificate is there.
        settings.priv = pki.personal.identity(my);
        settings.pub = pki.fundAp.identity(book);
        if (c.personal)
            test::installCert(pki.personal, my, c.personalKey);
        if (c.fund)
            test::installCert(pki.fundAp, book);
        EXPECT_EQ(SigningGaps(settings), c.gaps) << c.what;
        EXPECT_EQ(chosenPersonalText(settings).has_value(), c.personal) << c.what;
    }
}

} // namespace
} // namespace telva
