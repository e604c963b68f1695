#include "util/cipher.h"

#include "util/clock.h"
#include "util/error.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace cipher;

namespace {
QString AllPlainCharacters() {
    QString text;
    for (char16_t c = 33; c <= 126; ++c)
        if (c != u'\'' && c != u'`' && c != u'~') text += QChar(c);
    return u'a' + QStringLiteral(" ") + text;  // the space only inside, never at the ends
}

QString ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const MeltrixError& error) {
        return error.message();
    }
    return {};
}
}  // namespace

TEST(Cipher, RoundTripOverTheWholePlainAlphabet) {
    const QString plain = AllPlainCharacters();
    const QString ciphered = Encriptar(plain);
    EXPECT_EQ(ciphered.size(), plain.size());
    EXPECT_FALSE(ciphered.contains(u' '));
    EXPECT_EQ(Decriptar(ciphered), plain);
}

TEST(Cipher, InvalidCharacterNamesOperationCharacterAndCode) {
    EXPECT_EQ(ErrorOf([] { Encriptar("it's"); }),
              QStringLiteral("Caracter inválido em \"Encriptar\". Caracter: '  Ascii: 39"));
    EXPECT_EQ(ErrorOf([] { Decriptar("a b"); }),
              QStringLiteral("Caracter inválido em \"Decriptar\". Caracter:    Ascii: 32"));
}

TEST(Cipher, OnlyTheTextBetweenBlanksAndLineBreaksIsEnciphered) {
    EXPECT_EQ(Encriptar("  \tH1=1\r\n "), Encriptar("H1=1"));
    EXPECT_EQ(Encriptar("A\r\nB"), Encriptar("AB"));
}

TEST(Cipher, EnciphersTheSpaceAsAVisibleCharacter) {
    const QString ciphered = Encriptar("a b");
    EXPECT_NE(ciphered.at(1), QChar(u' '));
    EXPECT_GT(ciphered.at(1).unicode(), 32);
}

TEST(Cipher, EncipheredLineCarriesMarkerLocalClockAndText) {
    Clock::setNow(QDateTime(QDate(2024, 6, 24), QTime(10, 11, 12, 345)));
    EXPECT_EQ(EncriptarLinha("GET H1"), "Brelk2024-06-24T10:11:12.345Z|" + Encriptar("GET H1"));
    Clock::reset();
}

TEST(Cipher, DecriptarTextoLeavesPlainBlocksByteForByte) {
    const QString block = QStringLiteral("  2024-06-24T10:11:12Z|execution|ACTIVE\r\n");
    EXPECT_EQ(DecriptarTexto(block), block);
}

TEST(Cipher, DecriptarTextoGivesOneLinePerEncipheredLine) {
    const QString block = "Brelk2024-06-24T10:11:12.000Z|" + Encriptar("H1=1") + "\r\n" +
                          "Brelk2024-06-24T10:11:13.000Z|" + Encriptar("D1=2 3") + "\r\n";
    EXPECT_EQ(DecriptarTexto(block),
              "2024-06-24T10:11:12.000Z|H1=1\r\n2024-06-24T10:11:13.000Z|D1=2 3\r\n");
}

TEST(Cipher, DecriptarTextoWithoutSeparatorDeciphersTheWholePiece) {
    EXPECT_EQ(DecriptarTexto("Brelk" + Encriptar("OK")), "OK\r\n");
}

TEST(Cipher, MD5HexIsUpperCase) {
    EXPECT_EQ(MD5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(Cipher, TokenUsesDayOfYearWithoutZerosAndTheYear) {
    struct Case { QDate day; QString digits; };
    const Case cases[] = {
        {QDate(2024, 12, 31), "274185930001643662024"},  // leap year: day 366
        {QDate(2023, 12, 31), "274185930001643652023"},
        {QDate(2025, 1, 5), "2741859300016452025"},
    };
    for (const auto& [day, digits] : cases) {
        Clock::setNow(QDateTime(day, QTime(23, 59, 59)));
        EXPECT_EQ(TokenDoDia(), MD5Hex(digits)) << digits.toStdString();
        EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}$").match(TokenDoDia()).hasMatch());
    }
    Clock::reset();
}
