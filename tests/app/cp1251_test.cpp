#include "app/cp1251.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

using namespace telva;

// The table agrees with the system's own converter for every byte of the code page.
TEST(Cp1251, EveryByteDecodesAsTheSystemConverterDoes) {
    QStringDecoder system("windows-1251");
    ASSERT_TRUE(system.isValid());
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98)
            continue; // unassigned
        const QByteArray byte(1, char(b));
        const QString expected = system.decode(byte);
        EXPECT_EQ(fromCp1251(byte), expected) << "byte " << b;
        EXPECT_EQ(toCp1251(expected), byte) << "byte " << b;
    }
}

TEST(Cp1251, CharactersTheCodePageLacksBecomeQuestionMarks) {
    EXPECT_EQ(toCp1251(QStringLiteral("Ромашка €✓😀 ok")),
              QByteArray("\xD0\xEE\xEC\xE0\xF8\xEA\xE0 \x88?? ok"));
}

TEST(Cp1251, Utf8InputThatIsNotWellFormedGivesEmptyText) {
    EXPECT_EQ(utf8ToCp1251(QByteArray("Ошибка")), toCp1251(QStringLiteral("Ошибка")));
    EXPECT_TRUE(utf8ToCp1251(toCp1251(QStringLiteral("Ошибка в отчете"))).isEmpty());
    EXPECT_TRUE(utf8ToCp1251(QByteArray("abc\xC0\xAF")).isEmpty());     // overlong "/"
    EXPECT_TRUE(utf8ToCp1251(QByteArray("abc\xED\xA0\x80")).isEmpty()); // surrogate
}
