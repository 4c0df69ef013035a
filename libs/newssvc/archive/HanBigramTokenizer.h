// The archive's full-text tokenizer, "han_bigram", for SQLite's FTS5, and the query expressions it answers.
//
// Chinese is written without spaces and most of its words are two characters long (鴻海, 外資, 營收), so a run
// of Han characters (kana and hangul too) is indexed as its overlapping bigrams, each at the position of its
// first character, and its last character as a unigram at the last bigram's position (a run of one is a unigram
// alone). A two-character word is then one token, a longer one a phrase of its bigrams (台積電: 台積 積電), a single
// character the prefix of the bigrams it starts or the unigram that ends a run: one token per character, where a
// unigram beside every bigram would make two, keeps the index small and its ingest cheaper. Letters and digits
// form whole words; ASCII and full-width letters and digits are folded to lower-case ASCII, so "ＣｏＷｏＳ", "CoWoS"
// and "cowos" are one word. Everything else separates tokens, as does a byte that is not UTF-8.
#pragma once

#include <string>

struct sqlite3;

namespace newssvc {

// Receives a text's tokens in order.
struct SearchTokenSink {
  virtual ~SearchTokenSink() = default;
  // The token's `size` bytes; `colocated`: at the position of the token before it. [start, end) are byte
  // offsets into the text. A non-zero result (an SQLite error code) ends the tokenizing with that result.
  virtual int Token(const char* token, int size, int start, int end, bool colocated) = 0;
};

// A document's runs end with their last character as a unigram; a query asks for the bigrams of a run of two or
// more characters and for the unigram of a single one.
enum class TokenizeFor { kDocument, kQuery };

int TokenizeSearchText(const char* text, int size, TokenizeFor purpose, SearchTokenSink& sink);

// Registers the tokenizer and the SQL function html_text(markup), the text a reader sees of a piece of HTML,
// on a connection. Every connection to the archive needs both: its triggers index the items' text.
bool RegisterSearchText(sqlite3* db);

// The FTS5 expression of a user's query (UTF-8): words separated by spaces, all of which must match, and
// phrases in double quotes, matched as written. Empty when the query holds nothing to search for.
std::string SearchExpression(const std::string& query);

}  // namespace newssvc
