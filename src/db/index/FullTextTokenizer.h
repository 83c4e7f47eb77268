#pragma once

#include "core/Result.h"

struct sqlite3;

// The tokenizer of the memo index, for SQLite's full-text engine. Japanese has no blanks
// between words, so texts are cut into characters rather than words; they are folded first
// (TextFold), so that width, letter case and kana do not matter. Blanks and control characters
// separate runs of characters and are never part of a token.
//
// It works in one of two modes, named by the tokenizer's argument:
// - "pairs": each pair of neighbouring characters within a run, one token per position, so
//   that a word of two characters is one token and a longer word the phrase of its pairs;
// - "chars": each character that the text holds, once, for an index without positions that
//   answers the words of a single character.
namespace FullTextTokenizer {

inline constexpr const char* Name = "orv_ngram";

// Makes the tokenizer known to the full-text engine of one connection.
Result registerOn(sqlite3* db);

} // namespace FullTextTokenizer
