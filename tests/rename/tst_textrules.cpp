#include "platform/Failure.h"
#include "rename/TextRules.h"

#include <QtTest>

using namespace TextRules;

class TextRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void numeric_data();
    void numeric();
    void wholeNumber_data();
    void wholeNumber();
    void wholeNumberFailures_data();
    void wholeNumberFailures();
    void split_data();
    void split();
    void trim_data();
    void trim();
    void find_data();
    void find();
    void decode_data();
    void decode();
    void decodeAllSingleBytes();
    void ansiCodes_data();
    void ansiCodes();
};

void TextRulesTest::numeric_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::newRow("digits") << "10" << true;
    QTest::newRow("blanks around") << "  10 " << true;
    QTest::newRow("sign") << "-3" << true;
    QTest::newRow("decimal") << "2.5" << true;
    QTest::newRow("leading point") << ".5" << true;
    QTest::newRow("trailing point") << "5." << true;
    QTest::newRow("exponent") << "1e3" << true;
    QTest::newRow("signed exponent") << "1.5E-2" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blanks only") << "   " << false;
    QTest::newRow("point only") << "." << false;
    QTest::newRow("exponent without digits") << "1e" << false;
    QTest::newRow("blank inside") << "1 0" << false;
    QTest::newRow("two points") << "1.2.3" << false;
    QTest::newRow("tab around") << "\t1" << false;
    QTest::newRow("comma") << "10,11" << false;
    QTest::newRow("hexadecimal") << "0x10" << false;
}

void TextRulesTest::numeric()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(isNumeric(text), numeric);
}

void TextRulesTest::wholeNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("value");
    QTest::newRow("blanks") << " 7 " << 7;
    QTest::newRow("half to even down") << "2.5" << 2;
    QTest::newRow("half to even up") << "3.5" << 4;
    QTest::newRow("half of zero") << "0.5" << 0;
    QTest::newRow("negative half") << "-2.5" << -2;
    QTest::newRow("above half") << "2.51" << 3;
    QTest::newRow("exponent") << "1.2e3" << 1200;
    QTest::newRow("tiny exponent") << "1e-400" << 0;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << qint32(-2147483647 - 1);
    QTest::newRow("smallest minus a half") << "-2147483648.5" << qint32(-2147483647 - 1);
    QTest::newRow("largest plus less than a half") << "2147483647.4" << 2147483647;
}

void TextRulesTest::wholeNumber()
{
    QFETCH(QString, text);
    QFETCH(qint32, value);
    QCOMPARE(toWholeNumber(text), value);
}

void TextRulesTest::wholeNumberFailures_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("description");
    QTest::newRow("one past largest") << "2147483648"
                                      << "Overflow";
    QTest::newRow("rounds past largest") << "2147483647.5"
                                         << "Overflow";
    QTest::newRow("one below smallest") << "-2147483649"
                                        << "Overflow";
    QTest::newRow("huge exponent") << "1e400"
                                   << "Overflow";
    QTest::newRow("many digits") << QString(30, QLatin1Char('9')) << "Overflow";
    QTest::newRow("not a number") << "ten"
                                  << "Type mismatch";
    QTest::newRow("empty") << ""
                           << "Type mismatch";
}

void TextRulesTest::wholeNumberFailures()
{
    QFETCH(QString, text);
    QFETCH(QString, description);
    try {
        toWholeNumber(text);
        QFAIL("no failure");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), description);
    }
}

void TextRulesTest::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("empty gives none") << ""
                                      << " " << QStringList();
    QTest::newRow("one") << "word"
                         << " " << QStringList({"word"});
    QTest::newRow("double blank") << "one  two"
                                  << " " << QStringList({"one", "", "two"});
    QTest::newRow("blank only") << " "
                                << " " << QStringList({"", ""});
    QTest::newRow("trailing comma") << "10,"
                                    << "," << QStringList({"10", ""});
    QTest::newRow("tab stays inside") << "a\tb c"
                                      << " " << QStringList({"a\tb", "c"});
    QTest::newRow("pattern") << "%a - %t"
                             << "-" << QStringList({"%a ", " %t"});
}

void TextRulesTest::split()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QStringList, pieces);
    QCOMPARE(splitText(text, separator.at(0)), pieces);
}

void TextRulesTest::trim_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("blanks") << "  a b  "
                            << "a b";
    QTest::newRow("tabs stay") << "\ta\t"
                               << "\ta\t";
    QTest::newRow("no-break space stays") << "\u00a0a "
                                          << "\u00a0a";
    QTest::newRow("line breaks stay") << " \r\na\n "
                                      << "\r\na\n";
    QTest::newRow("blanks only") << "   "
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TextRulesTest::trim()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    QCOMPARE(trimBlanks(text), trimmed);
}

void TextRulesTest::find_data()
{
    QTest::addColumn<QString>("haystack");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("position");
    QTest::newRow("case ignored") << "Intro text CHAPTER one"
                                  << "Chapter" << 0 << 11;
    QTest::newRow("body tag") << "<html><BODY>x"
                              << "<body>" << 0 << 6;
    QTest::newRow("accented letters") << "CAFÉ"
                                      << "café" << 0 << 0;
    QTest::newRow("from") << "abab"
                          << "AB" << 1 << 2;
    QTest::newRow("missing") << "abc"
                             << "d" << 0 << -1;
    QTest::newRow("empty needle") << "abc"
                                  << "" << 1 << 1;
    QTest::newRow("from past the end") << "abc"
                                       << "a" << 9 << -1;
    // Characters outside ASCII that fold to ASCII letters still match them.
    QTest::newRow("Kelvin sign folds to k") << u"\u212Aey: v"_qs << "KEY" << 0 << 0;
    QTest::newRow("long s folds to s") << u"Sub\u017Fect: x"_qs << "subsect" << 0 << 0;
    QTest::newRow("accented letter is no plain letter")
        << u"Titl\u00E9 Title"_qs << "title" << 0 << 6;
    QTest::newRow("needle at the very end") << "xxAuthoR"
                                            << "author" << 0 << 2;
    QTest::newRow("needle longer than what is left") << "Autho"
                                                     << "author" << 0 << -1;
    QTest::newRow("non-letters match only themselves") << "a-b a_b"
                                                       << "A_B" << 0 << 4;
}

void TextRulesTest::find()
{
    QFETCH(QString, haystack);
    QFETCH(QString, needle);
    QFETCH(int, from);
    QFETCH(int, position);
    QCOMPARE(findText(haystack, needle, from), qsizetype(position));
}

void TextRulesTest::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ASCII") << QByteArray("<p>plain</p>") << "<p>plain</p>";
    QTest::newRow("valid UTF-8") << QByteArray("Caf\xc3\xa9") << "Café";
    QTest::newRow("UTF-8 with mark") << QByteArray("\xef\xbb\xbf"
                                                   "Caf\xc3\xa9")
                                     << "Café";
    QTest::newRow("mark, ASCII after it") << QByteArray("\xef\xbb\xbfx") << "x";
    QTest::newRow("Windows-1252 e acute") << QByteArray("Caf\xe9") << "Café";
    QTest::newRow("Windows-1252 quotes and euro")
        << QByteArray("\x93x\x94 \x80") << "\u201cx\u201d \u20ac";
    QTest::newRow("undefined byte keeps its number") << QByteArray("\x81") << "\u0081";
    QTest::newRow("truncated sequence") << QByteArray("a\xc3") << "a\u00c3";
    QTest::newRow("overlong form") << QByteArray("\xc0\xaf") << "\u00c0\u00af";
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << "\u00ed\u00a0\u20ac";
    QTest::newRow("one bad byte spoils UTF-8")
        << QByteArray("\xc3\xa9 \xe9") << "\u00c3\u00a9 \u00e9";
    QTest::newRow("four-byte sequence") << QByteArray("\xf0\x9f\x98\x80") << "\U0001F600";
    QTest::newRow("NUL kept") << QByteArray("a\0b", 3) << QString::fromLatin1("a\0b", 3);
}

void TextRulesTest::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeText(bytes), text);
}

void TextRulesTest::decodeAllSingleBytes()
{
    // Without valid UTF-8 every byte is one character, and the code page maps
    // each back to the byte it came from.
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    const QString text = decodeText(bytes);
    QCOMPARE(text.size(), 256);
    for (int b = 0; b < 256; ++b)
        QCOMPARE(ansiCode(text.at(b)), b);
}

void TextRulesTest::ansiCodes_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("code");
    QTest::newRow("euro sign") << "\u20ac" << 128;
    QTest::newRow("left double quote") << "\u201c" << 147;
    QTest::newRow("no-break space") << "\u00a0" << 160;
    QTest::newRow("e acute") << "é" << 233;
    QTest::newRow("Greek alpha") << "α" << 63;
    QTest::newRow("Cyrillic") << "Ж" << 63;
    QTest::newRow("C1 control not in the code page") << "\u0080" << 63;
}

void TextRulesTest::ansiCodes()
{
    QFETCH(QString, character);
    QFETCH(int, code);
    QCOMPARE(ansiCode(character.at(0)), code);
}

QTEST_GUILESS_MAIN(TextRulesTest)
#include "tst_textrules.moc"
