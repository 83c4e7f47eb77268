#include "platform/KeyNotation.h"

namespace {

using KeyNotation::Key;

// Keys named in braces. Text is what the key types when no Ctrl or Alt is held.
struct NamedKey
{
    const char* name;
    int key;
    const char* text;
    bool keypad;
};

const NamedKey NamedKeys[] = {
    {"ENTER", Qt::Key_Return, "\r", false},
    {"TAB", Qt::Key_Tab, "\t", false},
    {"ESC", Qt::Key_Escape, "\x1b", false},
    {"ESCAPE", Qt::Key_Escape, "\x1b", false},
    {"BACKSPACE", Qt::Key_Backspace, "\b", false},
    {"BS", Qt::Key_Backspace, "\b", false},
    {"BKSP", Qt::Key_Backspace, "\b", false},
    {"DEL", Qt::Key_Delete, "", false},
    {"DELETE", Qt::Key_Delete, "", false},
    {"INS", Qt::Key_Insert, "", false},
    {"INSERT", Qt::Key_Insert, "", false},
    {"HOME", Qt::Key_Home, "", false},
    {"END", Qt::Key_End, "", false},
    {"UP", Qt::Key_Up, "", false},
    {"DOWN", Qt::Key_Down, "", false},
    {"LEFT", Qt::Key_Left, "", false},
    {"RIGHT", Qt::Key_Right, "", false},
    {"PGUP", Qt::Key_PageUp, "", false},
    {"PGDN", Qt::Key_PageDown, "", false},
    {"BREAK", Qt::Key_Pause, "", false},
    {"CAPSLOCK", Qt::Key_CapsLock, "", false},
    {"NUMLOCK", Qt::Key_NumLock, "", false},
    {"SCROLLLOCK", Qt::Key_ScrollLock, "", false},
    {"PRTSC", Qt::Key_Print, "", false},
    {"HELP", Qt::Key_Help, "", false},
    {"ADD", Qt::Key_Plus, "+", true},
    {"SUBTRACT", Qt::Key_Minus, "-", true},
    {"MULTIPLY", Qt::Key_Asterisk, "*", true},
    {"DIVIDE", Qt::Key_Slash, "/", true},
};

// More repeats than anyone types by hand are taken for a fault, not a wish.
constexpr int MaxRepeat = 10000;
// Each group is parsed a level deeper: a limit keeps any text from exhausting the stack.
constexpr int MaxDepth = 64;

class Parser
{
public:
    Parser(const QString& text, QList<Key>* keys) : m_text(text), m_keys(keys) {}

    Result run()
    {
        if (Result r = sequence({}, 0); !r)
            return r;
        return Result::success();
    }

private:
    Result fail(const QString& what, qsizetype at) const
    {
        return Result::failure(
            QStringLiteral("malformed keys \"%1\": %2 at position %3").arg(m_text, what).arg(at + 1));
    }

    // Keys up to the end of the text or the ")" that closes the group at depth.
    Result sequence(Qt::KeyboardModifiers held, int depth)
    {
        Qt::KeyboardModifiers pending;
        qsizetype pendingAt = -1;
        auto modifier = [&](Qt::KeyboardModifier m) {
            pending |= m;
            if (pendingAt < 0)
                pendingAt = m_pos;
            ++m_pos;
        };
        auto keyDone = [&] {
            pending = {};
            pendingAt = -1;
        };

        while (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos);
            switch (c.unicode()) {
            case '+':
                modifier(Qt::ShiftModifier);
                continue;
            case '^':
                modifier(Qt::ControlModifier);
                continue;
            case '%':
                modifier(Qt::AltModifier);
                continue;
            case '(': {
                if (depth >= MaxDepth)
                    return fail(QStringLiteral("groups nested too deeply"), m_pos);
                const qsizetype open = m_pos++;
                if (Result r = sequence(held | pending, depth + 1); !r)
                    return r;
                if (m_pos >= m_text.size())
                    return fail(QStringLiteral("\"(\" without \")\""), open);
                ++m_pos; // the ")"
                keyDone();
                continue;
            }
            case ')':
                if (depth == 0)
                    return fail(QStringLiteral("\")\" without \"(\""), m_pos);
                if (pendingAt >= 0)
                    return fail(QStringLiteral("modifier without a key"), pendingAt);
                return Result::success();
            case '{':
                if (Result r = braced(held | pending); !r)
                    return r;
                keyDone();
                continue;
            case '}':
                return fail(QStringLiteral("\"}\" without \"{\""), m_pos);
            case '~':
                add({Qt::Key_Return, held | pending, QStringLiteral("\r")}, 1);
                ++m_pos;
                keyDone();
                continue;
            default: {
                const qsizetype length = (c.isHighSurrogate() && m_pos + 1 < m_text.size()) ? 2 : 1;
                // A line break pair is one Enter.
                const qsizetype taken =
                    (c == QLatin1Char('\r') && m_text.mid(m_pos, 2) == QLatin1String("\r\n")) ? 2 : length;
                add(character(m_text.mid(m_pos, length), held | pending), 1);
                m_pos += taken;
                keyDone();
                continue;
            }
            }
        }
        if (pendingAt >= 0)
            return fail(QStringLiteral("modifier without a key"), pendingAt);
        return Result::success();
    }

    // "{name}", "{name count}", or one character in braces ("{+}", "{}}").
    Result braced(Qt::KeyboardModifiers modifiers)
    {
        const qsizetype open = m_pos;
        // The first character after "{" may itself be "}".
        const qsizetype close = m_pos + 1 < m_text.size() ? m_text.indexOf(QLatin1Char('}'), m_pos + 2) : -1;
        if (close < 0)
            return fail(QStringLiteral("\"{\" without \"}\""), open);
        const QString content = m_text.mid(open + 1, close - open - 1);
        m_pos = close + 1;

        QString name = content;
        int count = 1;
        const qsizetype blank = content.lastIndexOf(QLatin1Char(' '));
        if (blank > 0 && blank + 1 < content.size()) {
            const QString number = content.mid(blank + 1);
            bool isNumber = true;
            for (const QChar d : number)
                isNumber = isNumber && d >= QLatin1Char('0') && d <= QLatin1Char('9');
            if (isNumber) {
                name = content.left(blank);
                bool ok = false;
                count = number.toInt(&ok);
                if (!ok || count > MaxRepeat)
                    return fail(QStringLiteral("repeat count too large in \"{%1}\"").arg(content), open);
            }
        }

        if (name.toUcs4().size() == 1) {
            add(character(name, modifiers), count);
            return Result::success();
        }
        const QString upper = name.toUpper();
        if (upper.size() >= 2 && upper.at(0) == QLatin1Char('F')) {
            bool ok = false;
            const int n = upper.mid(1).toInt(&ok);
            if (ok && n >= 1 && n <= 16 && upper.mid(1) == QString::number(n)) {
                add(withModifiers({Qt::Key_F1 + n - 1, {}, QString()}, modifiers), count);
                return Result::success();
            }
        }
        for (const NamedKey& k : NamedKeys) {
            if (upper == QLatin1String(k.name)) {
                Key key{k.key, k.keypad ? Qt::KeyboardModifiers(Qt::KeypadModifier) : Qt::KeyboardModifiers(),
                        QString::fromLatin1(k.text)};
                add(withModifiers(key, modifiers), count);
                return Result::success();
            }
        }
        return fail(QStringLiteral("unknown key \"{%1}\"").arg(content), open);
    }

    static Key withModifiers(Key key, Qt::KeyboardModifiers modifiers)
    {
        key.modifiers |= modifiers;
        // With Ctrl or Alt held a key is a command, not typing.
        if (modifiers & (Qt::ControlModifier | Qt::AltModifier))
            key.text.clear();
        return key;
    }

    // The key that types one character (one code point).
    static Key character(const QString& ch, Qt::KeyboardModifiers modifiers)
    {
        if (ch == QLatin1String("\t"))
            return withModifiers({Qt::Key_Tab, {}, ch}, modifiers);
        if (ch == QLatin1String("\r") || ch == QLatin1String("\n"))
            return withModifiers({Qt::Key_Return, {}, QStringLiteral("\r")}, modifiers);

        const char32_t code = ch.toUcs4().value(0);
        if (code < 0x20 || code == 0x7f || code > 0xff) {
            // Japanese and other text without a key of its own goes as text.
            return withModifiers({Qt::Key_unknown, {}, ch}, modifiers);
        }
        const QChar c{char16_t(code)};
        const QChar upper = c.toUpper();
        // Qt's key codes for Latin-1 are the upper-case characters.
        Key key{upper.unicode() <= 0xff ? int(upper.unicode()) : int(code), {}, ch};
        const bool command = modifiers & (Qt::ControlModifier | Qt::AltModifier);
        // A capital letter is typed with Shift, as on a keyboard; "%I" stays Alt+I.
        if (!command && c.isUpper())
            key.modifiers |= Qt::ShiftModifier;
        if ((modifiers & Qt::ShiftModifier) && c.isLetter())
            key.text = upper;
        return withModifiers(key, modifiers);
    }

    void add(const Key& key, int count)
    {
        for (int i = 0; i < count; ++i)
            m_keys->append(key);
    }

    const QString& m_text;
    QList<Key>* m_keys;
    qsizetype m_pos = 0;
};

} // namespace

Result KeyNotation::parse(const QString& notation, QList<Key>* keys)
{
    QList<Key> parsed;
    Parser parser(notation, &parsed);
    if (Result r = parser.run(); !r) {
        keys->clear();
        return r;
    }
    *keys = parsed;
    return Result::success();
}

QString KeyNotation::escape(const QString& text)
{
    static const QString special = QStringLiteral("+^%~(){}[]");
    QString escaped;
    escaped.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (special.contains(c))
            escaped += QLatin1Char('{') + c + QLatin1Char('}');
        else
            escaped += c;
    }
    return escaped;
}
