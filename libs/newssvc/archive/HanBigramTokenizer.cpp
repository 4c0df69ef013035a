#include "libs/newssvc/archive/HanBigramTokenizer.h"

#include <sqlite3.h>

#include "libs/newssvc/parse/HtmlText.h"

namespace newssvc {

namespace {

constexpr const char* kTokenizerName = "han_bigram";
constexpr const char* kIdeographicSpace = "\xE3\x80\x80";

enum class CharClass { kSeparator, kWord, kHan };

struct CodePoint {
  char32_t value = 0;
  int length = 1;  // bytes; a byte that starts no valid sequence counts as one separator byte
  bool valid = false;
};

CodePoint Decode(const unsigned char* text, int size) {
  const unsigned char lead = text[0];
  if (lead < 0x80) return {lead, 1, true};
  int length = 0;
  char32_t value = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
  } else {
    return {};
  }
  if (length > size) return {};
  for (int i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return {};
    value = (value << 6) | (text[i] & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {};
  return {value, length, true};
}

bool IsHan(char32_t c) {
  return (c >= 0x2E80 && c <= 0x2FDF) ||  // radicals
         (c >= 0x3040 && c <= 0x312F) ||  // kana, bopomofo
         (c >= 0x3400 && c <= 0x4DBF) ||  // extension A
         (c >= 0x4E00 && c <= 0x9FFF) ||  // unified ideographs
         (c >= 0xAC00 && c <= 0xD7AF) ||  // hangul
         (c >= 0xF900 && c <= 0xFAFF) ||  // compatibility ideographs
         (c >= 0x20000 && c <= 0x3FFFF);  // extensions B and later
}

// A letter or digit as it is indexed: ASCII and full-width forms as lower-case ASCII; 0 for none of them.
char FoldedAscii(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFF01 - 0x21;  // full-width forms of ASCII
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return static_cast<char>(c);
  return 0;
}

CharClass Classify(const CodePoint& cp) {
  const char32_t c = cp.value;
  if (!cp.valid) return CharClass::kSeparator;
  if (FoldedAscii(c) != 0) return CharClass::kWord;
  if (IsHan(c)) return CharClass::kHan;
  const bool punctuation = c < 0xC0 ||                      // ASCII and Latin-1 punctuation and symbols
                           (c >= 0x2000 && c <= 0x2BFF) ||  // general punctuation, symbols, arrows, boxes
                           (c >= 0x3000 && c <= 0x303F) ||  // CJK punctuation
                           (c >= 0xFE30 && c <= 0xFE6F) ||  // CJK compatibility and small forms
                           c >= 0xFF00;                     // the rest of the full-width and special forms
  return punctuation ? CharClass::kSeparator : CharClass::kWord;
}

class Tokenizer {
 public:
  Tokenizer(const char* text, TokenizeFor purpose, SearchTokenSink& sink)
      : m_text(text), m_purpose(purpose), m_sink(sink) {}

  int Run(int size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_text);
    int rc = 0;
    for (int at = 0; at < size && rc == 0;) {
      const CodePoint cp = Decode(bytes + at, size - at);
      const CharClass kind = Classify(cp);
      if (kind != CharClass::kWord) rc = EndWord(at);
      if (rc == 0 && kind != CharClass::kHan) rc = EndRun();
      if (rc == 0 && kind == CharClass::kWord) AddToWord(cp, at);
      if (rc == 0 && kind == CharClass::kHan) rc = AddToRun(at, at + cp.length);
      at += cp.length;
    }
    if (rc == 0) rc = EndWord(size);
    if (rc == 0) rc = EndRun();
    return rc;
  }

 private:
  void AddToWord(const CodePoint& cp, int at) {
    if (m_word.empty()) m_wordStart = at;
    const char folded = FoldedAscii(cp.value);
    if (folded != 0)
      m_word += folded;
    else
      m_word.append(m_text + at, static_cast<std::size_t>(cp.length));
  }

  int EndWord(int end) {
    if (m_word.empty()) return 0;
    const int rc = m_sink.Token(m_word.data(), static_cast<int>(m_word.size()), m_wordStart, end, false);
    m_word.clear();
    return rc;
  }

  // A Han character [start, end): the bigram it closes with the one before it, at that one's position.
  int AddToRun(int start, int end) {
    int rc = 0;
    if (m_runLength > 0) rc = m_sink.Token(m_text + m_prevStart, end - m_prevStart, m_prevStart, end, false);
    ++m_runLength;
    m_prevStart = start;
    m_prevEnd = end;
    return rc;
  }

  // The run's last character. Alone it is a unigram at a position of its own. After others a document has
  // it as a unigram at the last bigram's position, so that a run takes as many positions in a document as in
  // a query, where it is only its bigrams, and a phrase that goes on after it matches. Every other
  // character of a run starts a bigram, so a query for one character asks for the terms it begins.
  int EndRun() {
    int rc = 0;
    if (m_runLength == 1) rc = Unigram(m_prevStart, m_prevEnd, false);
    if (m_runLength > 1 && m_purpose == TokenizeFor::kDocument) rc = Unigram(m_prevStart, m_prevEnd, true);
    m_runLength = 0;
    return rc;
  }

  int Unigram(int start, int end, bool colocated) {
    return m_sink.Token(m_text + start, end - start, start, end, colocated);
  }

  const char* const m_text;
  const TokenizeFor m_purpose;
  SearchTokenSink& m_sink;
  std::string m_word;
  int m_wordStart = 0;
  int m_runLength = 0;  // Han characters in the current run
  int m_prevStart = 0;  // the run's last character so far
  int m_prevEnd = 0;
};

// FTS5's side: its callback behind the sink interface.
class Fts5Sink : public SearchTokenSink {
 public:
  using Callback = int (*)(void*, int, const char*, int, int, int);
  Fts5Sink(void* context, Callback callback) : m_context(context), m_callback(callback) {}
  int Token(const char* token, int size, int start, int end, bool colocated) override {
    return m_callback(m_context, colocated ? FTS5_TOKEN_COLOCATED : 0, token, size, start, end);
  }

 private:
  void* m_context;
  Callback m_callback;
};

// The tokenizer keeps no state between calls: its instance is only a non-null handle.
int CreateTokenizer(void*, const char**, int, Fts5Tokenizer** out) {
  static int instance;
  *out = reinterpret_cast<Fts5Tokenizer*>(&instance);
  return SQLITE_OK;
}

void DeleteTokenizer(Fts5Tokenizer*) {}

int Tokenize(Fts5Tokenizer*, void* context, int flags, const char* text, int size, Fts5Sink::Callback callback) {
  Fts5Sink sink(context, callback);
  const TokenizeFor purpose = (flags & FTS5_TOKENIZE_QUERY) != 0 ? TokenizeFor::kQuery : TokenizeFor::kDocument;
  return TokenizeSearchText(text, size, purpose, sink);
}

void HtmlTextFunction(sqlite3_context* context, int, sqlite3_value** args) {
  const unsigned char* html = sqlite3_value_text(args[0]);
  const int bytes = sqlite3_value_bytes(args[0]);
  const std::string input = html ? std::string(reinterpret_cast<const char*>(html), bytes) : std::string();
  // Text without markup or character references reads as itself: most titles spare the HTML parser.
  const std::string text = input.find_first_of("<&") == std::string::npos ? FoldSpace(input) : HtmlToText(input);
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

fts5_api* Fts5Api(sqlite3* db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK) return nullptr;
  sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
  sqlite3_step(statement);
  sqlite3_finalize(statement);
  return api;
}

// Counts a query term's tokens and tells whether the last is a character alone.
struct TermSink : SearchTokenSink {
  int Token(const char* token, int size, int, int, bool) override {
    ++count;
    const CodePoint cp = Decode(reinterpret_cast<const unsigned char*>(token), size);
    endsWithCharacter = cp.length == size && Classify(cp) == CharClass::kHan;
    return 0;
  }
  int count = 0;
  bool endsWithCharacter = false;
};

// A term as an FTS5 string (double quotes doubled), after a space-separated AND when it is not the first. A
// character alone at its end is a prefix: the index holds it as the start of the bigrams it begins.
void AddTerm(std::string& expression, const std::string& term) {
  TermSink tokens;
  TokenizeSearchText(term.data(), static_cast<int>(term.size()), TokenizeFor::kQuery, tokens);
  if (tokens.count == 0) return;  // punctuation alone asks for nothing
  if (!expression.empty()) expression += " AND ";
  expression += '"';
  for (const char c : term) expression += c == '"' ? std::string("\"\"") : std::string(1, c);
  expression += tokens.endsWithCharacter ? "\"*" : "\"";
}

}  // namespace

int TokenizeSearchText(const char* text, int size, TokenizeFor purpose, SearchTokenSink& sink) {
  return Tokenizer(text, purpose, sink).Run(size);
}

bool RegisterSearchText(sqlite3* db) {
  fts5_api* api = Fts5Api(db);
  if (api == nullptr) return false;
  fts5_tokenizer tokenizer = {&CreateTokenizer, &DeleteTokenizer, &Tokenize};
  return api->xCreateTokenizer(api, kTokenizerName, nullptr, &tokenizer, nullptr) == SQLITE_OK &&
         sqlite3_create_function(db, "html_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                 &HtmlTextFunction, nullptr, nullptr) == SQLITE_OK;
}

std::string SearchExpression(const std::string& query) {
  std::string expression, term;
  std::string spaced = query;  // the ideographic space separates words as a space does
  for (std::size_t at = spaced.find(kIdeographicSpace); at != std::string::npos; at = spaced.find(kIdeographicSpace))
    spaced.replace(at, 3, " ");
  bool quoted = false;
  for (const char c : spaced) {
    if (c == '"' || (!quoted && (c == ' ' || c == '\t'))) {
      AddTerm(expression, term);
      term.clear();
      if (c == '"') quoted = !quoted;
    } else {
      term += c;
    }
  }
  AddTerm(expression, term);
  return expression;
}

}  // namespace newssvc
