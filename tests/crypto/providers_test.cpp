#include "crypto/providers.h"

#include <gtest/gtest.h>

using namespace telva::crypto;

namespace {

ProviderBackend backend(const char* name, QList<quint32> algorithms, bool acquirable = true) {
    return ProviderBackend{QString::fromUtf8(name), kProvTypeGost2001, acquirable, algorithms};
}

const QList<quint32> kAllThree{0x8004, kAlgGostR341194, kAlgGostR34102001, 0x6610, kAlgGost28147};

} // namespace

TEST(ProviderList, ExactlyThreeGostAlgorithmsQualify) {
    const QList<ProviderBackend> backends{
        backend("Полный", kAllThree),
        backend("Без шифра", {kAlgGostR341194, kAlgGostR34102001}),
        backend("Дважды хэш", kAllThree + QList<quint32>{kAlgGostR341194}),
        backend("Недоступный", kAllThree, false),
        backend("Второй", kAllThree),
    };
    const ProviderList list = FillProviderList(backends, QStringLiteral("Второй"));
    ASSERT_EQ(list.entries.size(), 2);
    EXPECT_EQ(list.entries[0].name, QStringLiteral("Полный"));
    EXPECT_EQ(list.entries[1].name, QStringLiteral("Второй"));
    EXPECT_EQ(list.entries[1].type, kProvTypeGost2001);
    EXPECT_EQ(list.selected, 1);
}

TEST(ProviderList, SavedNameMatchesExactlyAndTheLaterTwinWins) {
    const QList<ProviderBackend> twins{backend("Один", kAllThree), backend("Один", kAllThree)};
    EXPECT_EQ(FillProviderList(twins, QStringLiteral("Один")).selected, 1);
    EXPECT_EQ(FillProviderList(twins, QStringLiteral("один")).selected, -1);
    EXPECT_EQ(FillProviderList(twins, QStringLiteral("Один ")).selected, -1);
    // The only provider needs no choosing, whatever name was saved.
    EXPECT_EQ(FillProviderList({backend("Один", kAllThree)}, QStringLiteral("Другой")).selected, 0);
    const ProviderList none =
        FillProviderList({backend("RSA", {0x8004, 0xA400, 0x6610})}, QString());
    EXPECT_TRUE(none.entries.isEmpty());
    EXPECT_EQ(none.selected, -1);
}

TEST(ProviderList, TheGostEngineQualifiesAndCanBeAcquired) {
    const ProviderList list = FillProviderList(QString());
    ASSERT_EQ(list.entries.size(), 1);
    EXPECT_EQ(list.selected, 0);
    const ProviderEntry gost = list.entries.first();
    EXPECT_EQ(FillProviderList(gost.name).selected, 0);
    EXPECT_TRUE(AcquireProviderContext(gost.name, gost.type).has_value());
    EXPECT_FALSE(AcquireProviderContext(gost.name, gost.type + 1).has_value());
    EXPECT_FALSE(AcquireProviderContext(QStringLiteral("Нет такого"), gost.type).has_value());
}
