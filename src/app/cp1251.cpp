#include "app/cp1251.h"

#include <QHash>
#include <QStringDecoder>

namespace telva {

namespace {

// Upper half of the code page, 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

const QHash<char16_t, char>& encodeTable() {
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int i = 0; i < 64; ++i)
            if (kHigh[i] != 0xFFFD)
                t.insert(kHigh[i], char(0x80 + i));
        for (int i = 0; i < 64; ++i)
            t.insert(char16_t(0x0410 + i), char(0xC0 + i));
        return t;
    }();
    return table;
}

} // namespace

QByteArray toCp1251(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    const QHash<char16_t, char>& table = encodeTable();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        const auto found = table.constFind(c);
        out.append(found != table.constEnd() ? *found : '?');
        // A surrogate pair is one character the code page lacks: one "?", not two.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode()))
            ++i;
    }
    return out;
}

QString fromCp1251(const QByteArray& bytes) {
    QString out;
    out.resize(bytes.size());
    QChar* data = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        if (b < 0x80)
            data[i] = QChar(char16_t(b));
        else if (b < 0xC0)
            data[i] = QChar(kHigh[b - 0x80]);
        else
            data[i] = QChar(char16_t(0x0410 + (b - 0xC0)));
    }
    return out;
}

QByteArray utf8ToCp1251(const QByteArray& utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(utf8);
    if (decoder.hasError())
        return {};
    return toCp1251(text);
}

} // namespace telva
