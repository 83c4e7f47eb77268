#include "platform/KeyNotation.h"
#include "support/TestMain.h"

using KeyNotation::Key;

namespace {

// A compact writing of parsed keys for the table: "A+i" is Alt+I, "S+a=A" is Shift+A typing
// "A", "0x1ffffff=テ" a key without code typing "テ".
QString describe(const Key& key)
{
    QString out;
    if (key.modifiers & Qt::ControlModifier)
        out += QLatin1String("C+");
    if (key.modifiers & Qt::AltModifier)
        out += QLatin1String("A+");
    if (key.modifiers & Qt::ShiftModifier)
        out += QLatin1String("S+");
    if (key.modifiers & Qt::KeypadModifier)
        out += QLatin1String("K+");
    if (key.key >= Qt::Key_F1 && key.key <= Qt::Key_F35)
        out += QLatin1Char('F') + QString::number(key.key - Qt::Key_F1 + 1);
    else if (key.key == Qt::Key_Return)
        out += QLatin1String("Enter");
    else if (key.key == Qt::Key_Tab)
        out += QLatin1String("Tab");
    else if (key.key == Qt::Key_Escape)
        out += QLatin1String("Esc");
    else if (key.key == Qt::Key_Backspace)
        out += QLatin1String("BS");
    else if (key.key == Qt::Key_Delete)
        out += QLatin1String("Del");
    else if (key.key == Qt::Key_Home)
        out += QLatin1String("Home");
    else if (key.key == Qt::Key_Left)
        out += QLatin1String("Left");
    else if (key.key == Qt::Key_unknown)
        out += QLatin1String("?");
    else
        out += QChar(key.key).toLower();
    out += QLatin1Char('=') + key.text;
    return out;
}

QStringList describeAll(const QList<Key>& keys)
{
    QStringList all;
    for (const Key& k : keys)
        all.append(describe(k));
    return all;
}

} // namespace

class TestKeyNotation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("notation");
        QTest::addColumn<QStringList>("keys");

        QTest::newRow("plain letters") << "ab" << QStringList{"a=a", "b=b"};
        QTest::newRow("capital is typed with shift") << "A" << QStringList{"S+a=A"};
        QTest::newRow("alt letter") << "%I" << QStringList{"A+i="};
        QTest::newRow("alt lower letter") << "%d" << QStringList{"A+d="};
        QTest::newRow("ctrl") << "^c" << QStringList{"C+c="};
        QTest::newRow("shift lower letter types capital") << "+a" << QStringList{"S+a=A"};
        QTest::newRow("modifiers combine") << "^+%x" << QStringList{"C+A+S+x="};
        QTest::newRow("modifier holds for one key") << "+ab" << QStringList{"S+a=A", "b=b"};
        QTest::newRow("tilde is enter") << "a~" << QStringList{"a=a", "Enter=\r"};
        QTest::newRow("F1") << "{F1}" << QStringList{"F1="};
        QTest::newRow("F16 and lower case name") << "{f16}" << QStringList{"F16="};
        QTest::newRow("named keys") << "{ENTER}{TAB}{ESC}{BACKSPACE}{BS}{DEL}{HOME}{LEFT}"
                                    << QStringList{"Enter=\r", "Tab=\t", "Esc=\x1b", "BS=\b",
                                                   "BS=\b",    "Del=",   "Home=",    "Left="};
        QTest::newRow("braced specials") << "{+}{^}{%}{~}{(}{)}{[}{]}"
                                         << QStringList{"+=+", "^=^", "%=%", "~=~", "(=(", ")=)", "[=[", "]=]"};
        QTest::newRow("braced braces") << "{{}{}}" << QStringList{"{={", "}=}"};
        QTest::newRow("repeat count") << "{LEFT 3}" << QStringList{"Left=", "Left=", "Left="};
        QTest::newRow("repeat a character") << "{x 2}" << QStringList{"x=x", "x=x"};
        QTest::newRow("repeat zero") << "a{b 0}c" << QStringList{"a=a", "c=c"};
        QTest::newRow("group takes the modifier") << "+(ab)c" << QStringList{"S+a=A", "S+b=B", "c=c"};
        QTest::newRow("nested groups") << "^(a%(b))" << QStringList{"C+a=", "C+A+b="};
        QTest::newRow("empty group") << "x()" << QStringList{"x=x"};
        QTest::newRow("modifier on braced key") << "+{TAB}" << QStringList{"S+Tab=\t"};
        QTest::newRow("alt clears typed text") << "%{F4}" << QStringList{"A+F4="};
        QTest::newRow("keypad name") << "{ADD}" << QStringList{"K++=+"};
        QTest::newRow("japanese as text") << "テスト" << QStringList{"?=テ", "?=ス", "?=ト"};
        QTest::newRow("surrogate pair stays whole")
            << QString::fromUcs4(U"\U0001F600") << QStringList{QStringLiteral("?=") + QString::fromUcs4(U"\U0001F600")};
        QTest::newRow("blank and digits") << "a 1" << QStringList{"a=a", " = ", "1=1"};
        QTest::newRow("line break pair is one enter") << "a\r\nb" << QStringList{"a=a", "Enter=\r", "b=b"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void parse()
    {
        QFETCH(QString, notation);
        QList<Key> keys;
        const Result r = KeyNotation::parse(notation, &keys);
        QVERIFY2(r.ok, qPrintable(r.message));
        QTEST(describeAll(keys), "keys");
    }

    void malformed_data()
    {
        QTest::addColumn<QString>("notation");
        QTest::addColumn<int>("position");

        QTest::newRow("lone brace") << "{" << 1;
        QTest::newRow("unclosed brace") << "ab{F1" << 3;
        QTest::newRow("empty braces") << "{}" << 1;
        QTest::newRow("stray closing brace") << "a}" << 2;
        QTest::newRow("unknown key") << "{F99}" << 1;
        QTest::newRow("F0") << "x{F0}" << 2;
        QTest::newRow("F with leading zero") << "{F01}" << 1;
        QTest::newRow("unknown name") << "{NOSUCHKEY}" << 1;
        QTest::newRow("alt at the end") << "abc%" << 4;
        QTest::newRow("modifiers at the end") << "a^+" << 2;
        QTest::newRow("unclosed group") << "+(ab" << 2;
        QTest::newRow("stray closing parenthesis") << "ab)" << 3;
        QTest::newRow("modifier before closing") << "(a+)" << 3;
        QTest::newRow("repeat too large") << "{a 99999999}" << 1;
    }

    void malformed()
    {
        QFETCH(QString, notation);
        QFETCH(int, position);
        QList<Key> keys{{Qt::Key_A, {}, QStringLiteral("a")}};
        const Result r = KeyNotation::parse(notation, &keys);
        QVERIFY(!r.ok);
        QVERIFY2(r.message.contains(QStringLiteral("position %1").arg(position)), qPrintable(r.message));
        QVERIFY(keys.isEmpty());
    }

    // Escaped text parses back into exactly its own characters.
    void escapeRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plus") << "C++";
        QTest::newRow("alt F4 written out") << "%{F4}";
        QTest::newRow("every special") << "+^%~(){}[]";
        QTest::newRow("japanese with parentheses") << "表示（全角）と(半角)";
        QTest::newRow("apostrophe and blanks") << "O'Reilly  x";
    }

    void escapeRoundTrip()
    {
        QFETCH(QString, text);
        QList<Key> keys;
        const Result r = KeyNotation::parse(KeyNotation::escape(text), &keys);
        QVERIFY2(r.ok, qPrintable(r.message));
        QString typed;
        for (const Key& k : keys) {
            QVERIFY(!(k.modifiers & (Qt::ControlModifier | Qt::AltModifier)));
            typed += k.text;
        }
        QCOMPARE(typed, text);
    }
};

ORV_TEST_MAIN(TestKeyNotation)
#include "tst_key_notation.moc"
