#include "db/index/FullTextTokenizer.h"

#include "core/TextFold.h"

#include <QString>

#include <sqlite3.h>

#include <bitset>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Tokenizer
{
    bool pairs = true;
    // The characters of the basic plane seen in the current text, for the "chars" mode.
    std::unique_ptr<std::bitset<0x10000>> seen;
    std::vector<char32_t> seenList;
};

int create(void*, const char** arguments, int count, Fts5Tokenizer** out)
{
    auto tokenizer = std::make_unique<Tokenizer>();
    if (count >= 1 && std::strcmp(arguments[0], "chars") == 0) {
        tokenizer->pairs = false;
        tokenizer->seen = std::make_unique<std::bitset<0x10000>>();
    } else if (count >= 1 && std::strcmp(arguments[0], "pairs") != 0) {
        return SQLITE_ERROR;
    }
    *out = reinterpret_cast<Fts5Tokenizer*>(tokenizer.release());
    return SQLITE_OK;
}

void destroy(Fts5Tokenizer* tokenizer)
{
    delete reinterpret_cast<Tokenizer*>(tokenizer);
}

int putUtf8(char32_t c, char* out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

using TokenCallback = int (*)(void*, int, const char*, int, int, int);

int tokenize(Fts5Tokenizer* self, void* context, int flags, const char* text, int length, TokenCallback token)
{
    Tokenizer& t = *reinterpret_cast<Tokenizer*>(self);
    const QString folded = TextFold::fold(QString::fromUtf8(text, length));
    // A query of the position-less index looks up each character; only documents list each once.
    const bool distinct = !t.pairs && (flags & FTS5_TOKENIZE_DOCUMENT) != 0;
    const qsizetype units = folded.size();
    const char16_t* s = reinterpret_cast<const char16_t*>(folded.constData());
    char buffer[8];
    char32_t previous = 0;
    bool inRun = false;
    int rc = SQLITE_OK;
    for (qsizetype i = 0; i < units && rc == SQLITE_OK; ++i) {
        char32_t c = s[i];
        if (QChar::isHighSurrogate(c) && i + 1 < units && QChar::isLowSurrogate(s[i + 1])) {
            c = QChar::surrogateToUcs4(s[i], s[i + 1]);
            ++i;
        }
        if (TextFold::isSeparator(c)) {
            inRun = false;
            continue;
        }
        if (t.pairs) {
            if (inRun) {
                const int n = putUtf8(previous, buffer);
                rc = token(context, 0, buffer, n + putUtf8(c, buffer + n), 0, length);
            }
        } else if (distinct) {
            bool fresh = true;
            if (c < 0x10000) {
                fresh = !t.seen->test(c);
                if (fresh) {
                    t.seen->set(c);
                    t.seenList.push_back(c);
                }
            }
            if (fresh)
                rc = token(context, 0, buffer, putUtf8(c, buffer), 0, length);
        } else {
            rc = token(context, 0, buffer, putUtf8(c, buffer), 0, length);
        }
        inRun = true;
        previous = c;
    }
    for (char32_t c : t.seenList)
        t.seen->reset(c);
    t.seenList.clear();
    return rc;
}

} // namespace

Result FullTextTokenizer::registerOn(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (!api || api->iVersion < 2)
        return Result::failure(QStringLiteral("the SQLite library has no full-text engine"));
    static fts5_tokenizer methods = {create, destroy, tokenize};
    if (api->xCreateTokenizer(api, Name, nullptr, &methods, nullptr) != SQLITE_OK)
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    return Result::success();
}
