#include "platform/KeyNotation.h"
#include "support/TestMain.h"

#include <QKeySequence>

using KeyNotation::Key;

// Each key as "Shift+A=A": the key with its modifiers, then its text; "?" for a key without code.
static QStringList describe(const QList<Key>& keys)
{
    QStringList all;
    for (const Key& k : keys)
        all += (k.key == Qt::Key_unknown ? QStringLiteral("?")
                                         : QKeySequence(QKeyCombination(k.modifiers, Qt::Key(k.key))).toString()) +
               QLatin1Char('=') + k.text;
    return all;
}

class TestKeyNotation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Well-formed text gives its keys; malformed text fails at the position given, never crashes.
    void parse_data()
    {
        QTest::addColumn<QString>("notation");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("faultAt"); // 0: well-formed

        const QStringList none;
        QTest::newRow("letters, capital with shift, alt") << "aB%I" << QStringList{"A=a", "Shift+B=B", "Alt+I="} << 0;
        QTest::newRow("modifiers combine, hold for one key") << "^+%xy" << QStringList{"Ctrl+Alt+Shift+X=", "Y=y"} << 0;
        QTest::newRow("tilde and line break are enter") << "~\r\n" << QStringList{"Return=\r", "Return=\r"} << 0;
        QTest::newRow("function keys") << "{F1}{f16}+{TAB}" << QStringList{"F1=", "F16=", "Shift+Tab=\t"} << 0;
        QTest::newRow("named keys") << "{ESC}{BS}{DEL}{HOME}"
                                    << QStringList{"Esc=\x1b", "Backspace=\b", "Del=", "Home="} << 0;
        QTest::newRow("braced specials") << "{+}{^}{%}{~}{(}{)}{{}{}}"
                                         << QStringList{"+=+", "^=^", "%=%", "~=~", "(=(", ")=)", "{={", "}=}"} << 0;
        QTest::newRow("repeat counts") << "{LEFT 2}{b 0}" << QStringList{"Left=", "Left="} << 0;
        QTest::newRow("groups take the modifier")
            << "+(ab)^(c%(d))" << QStringList{"Shift+A=A", "Shift+B=B", "Ctrl+C=", "Ctrl+Alt+D="} << 0;
        QTest::newRow("japanese as text") << "テスト" << QStringList{"?=テ", "?=ス", "?=ト"} << 0;
        QTest::newRow("surrogate pair stays whole")
            << QString::fromUcs4(U"\U0001F600") << QStringList{"?=" + QString::fromUcs4(U"\U0001F600")} << 0;
        QTest::newRow("empty") << "" << none << 0;
        QTest::newRow("lone brace") << "{" << none << 1;
        QTest::newRow("unclosed brace") << "ab{F1" << none << 3;
        QTest::newRow("empty braces") << "{}" << none << 1;
        QTest::newRow("stray closing brace") << "a}" << none << 2;
        QTest::newRow("unknown key") << "{F99}" << none << 1;
        QTest::newRow("unknown name") << "{NOSUCHKEY}" << none << 1;
        QTest::newRow("alt at the end") << "abc%" << none << 4;
        QTest::newRow("modifiers at the end") << "a^+" << none << 2;
        QTest::newRow("unclosed group") << "+(ab" << none << 2;
        QTest::newRow("stray closing parenthesis") << "ab)" << none << 3;
        QTest::newRow("modifier before closing") << "(a+)" << none << 3;
        QTest::newRow("repeat too large") << "{a 99999999}" << none << 1;
        QTest::newRow("groups nested deeper than 64")
            << QString(65, QLatin1Char('(')) + QLatin1Char('a') + QString(65, QLatin1Char(')')) << none << 65;
        QTest::newRow("groups nested 64 deep")
            << QString(64, QLatin1Char('(')) + QLatin1Char('a') + QString(64, QLatin1Char(')')) << QStringList{"A=a"}
            << 0;
    }

    void parse()
    {
        QFETCH(QString, notation);
        QFETCH(int, faultAt);
        QList<Key> keys{{Qt::Key_Z, {}, QStringLiteral("z")}}; // replaced, or emptied on a fault
        const Result r = KeyNotation::parse(notation, &keys);
        QCOMPARE(r.ok, faultAt == 0);
        if (faultAt)
            QVERIFY2(r.message.contains(QStringLiteral("position %1").arg(faultAt)), qPrintable(r.message));
        QTEST(describe(keys), "keys");
    }

    // Escaped text parses back into exactly its own characters, without Ctrl or Alt.
    void escapeRoundTrip()
    {
        for (const QString text : {"%{F4}", "C++ +^%~(){}[]", "表示（全角）と(半角)", "O'Reilly  x"}) {
            QList<Key> keys;
            QVERIFY(KeyNotation::parse(KeyNotation::escape(text), &keys).ok);
            QString typed;
            for (const Key& k : keys)
                typed += k.modifiers & (Qt::ControlModifier | Qt::AltModifier) ? QStringLiteral("<mod>") : k.text;
            QCOMPARE(typed, text);
        }
    }
};

ORV_TEST_MAIN(TestKeyNotation)
#include "tst_key_notation.moc"
