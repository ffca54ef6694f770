#include "crypto/ber_frames.h"

#include <gtest/gtest.h>

using namespace telva::crypto;

TEST(BerFrames, SpliceShortensEveryEnclosingLengthAndHeader) {
    // SEQUENCE { INTEGER 1, [0] { OCTET STRING of 200 bytes } , INTEGER 2 }
    const QByteArray octets = QByteArray("\x04\x81\xC8", 3) + QByteArray(200, 'x');
    const QByteArray wrapper = QByteArray("\xA0\x81\xCB", 3) + octets;
    const QByteArray body = QByteArray("\x02\x01\x01", 3) + wrapper + QByteArray("\x02\x01\x02", 3);
    const QByteArray message = QByteArray("\x30\x81\xD4", 3) + body + QByteArray("trailing");

    const auto outer = ber::readHeader(message.constData(), message.size(), 0);
    ASSERT_TRUE(outer);
    EXPECT_EQ(outer->length, 0xD4);
    const auto inner = ber::readHeader(message.constData(), message.size(), 6);
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->tag, 0xA0u);

    // The [0] frame cut out: the outer header shrinks from three bytes to two.
    EXPECT_EQ(ber::splice(message, {*outer}, inner->at, inner->end()),
              QByteArray("\x30\x06\x02\x01\x01\x02\x01\x02", 8));
    // The OCTET STRING replaced inside both frames.
    EXPECT_EQ(
        ber::splice(message, {*outer, *inner}, 9, inner->end(), QByteArrayView("\x80\x00", 2)),
        QByteArray("\x30\x0A\x02\x01\x01\xA0\x02\x80\x00\x02\x01\x02", 12));
    // A cut outside the frames is refused.
    EXPECT_TRUE(ber::splice(message, {*inner}, 0, 3).isEmpty());

    // Indefinite lengths stay as they are.
    const QByteArray open("\x30\x80\x02\x01\x01\x04\x02\x61\x62\x00\x00", 11);
    const auto frame = ber::readHeader(open.constData(), open.size(), 0);
    ASSERT_TRUE(frame && frame->indefinite());
    EXPECT_EQ(ber::splice(open, {*frame}, 5, 9), QByteArray("\x30\x80\x02\x01\x01\x00\x00", 7));
    EXPECT_FALSE(ber::readHeader("\x04\x80", 2, 0)); // a primitive frame cannot be open
}
