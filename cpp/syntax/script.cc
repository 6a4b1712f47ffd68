// The script driver (splitting on ";", collecting errors), error messages,
// names and the helpers every clause file shares.
#include <cstdio>
#include <cstring>
#include <string>

#include "syntax/classic_mode.h"
#include "syntax/grammar.h"
#include "tree/stack_limit.h"

namespace sqlparse::syntax {

// ---- positions and errors ---------------------------------------------------

std::size_t char_offset(std::string_view text, std::size_t byte_offset) {
  if (byte_offset > text.size()) byte_offset = text.size();
  std::size_t chars = 0;
  for (std::size_t i = 0; i < byte_offset; ++i) {
    chars += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  }
  return chars;
}

namespace {

// The token as shown in a message: its whole text, on one line, cut after
// 40 characters.
std::string shown_token(std::string_view text, const Token& t) {
  if (t.kind == Tok::kEnd) return "end of text";
  std::string_view s = text.substr(t.begin, t.end - t.begin);
  std::string out;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80 && ++chars > 40) {
      out += "...";
      break;
    }
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

void Parser::fail(std::string_view expecting) const { fail_at(peek(), expecting); }

void Parser::fail_at(const Token& at, std::string_view expecting) const {
  if (classic_) [[unlikely]] classic_fail(at, expecting);
  ParseError e;
  e.expecting = std::string(expecting);
  if (at.kind == Tok::kError) {
    switch (static_cast<LexError>(at.sub)) {
      case LexError::kUnterminatedString: e.expecting = "a closing quote of the string"; break;
      case LexError::kUnterminatedName: e.expecting = "a closing quote of the name"; break;
      case LexError::kUnterminatedComment: e.expecting = "the end of the comment (*/)"; break;
      case LexError::kBadChar: e.expecting = "a token (this character starts none)"; break;
    }
  }
  Token shown = at;
  if (at.kind == Tok::kError && static_cast<LexError>(at.sub) == LexError::kBadChar) {
    shown.end = at.begin + 1;
    while (shown.end < text_.size() && (static_cast<unsigned char>(text_[shown.end]) & 0xC0) == 0x80) ++shown.end;
  }
  e.found = shown_token(text_, shown);
  const std::size_t byte = at.kind == Tok::kEnd ? text_.size() : at.begin;
  if (positions_ != nullptr) {
    e.offset = positions_->char_offset(byte);
    positions_->line_column(byte, &e.line, &e.column);
  } else {
    const TextIndex positions(text_);
    e.offset = positions.char_offset(byte);
    positions.line_column(byte, &e.line, &e.column);
  }
  e.message = "Expecting " + e.expecting + ", found \"" + e.found + "\" (at char " +
              std::to_string(e.offset) + "), (line:" + std::to_string(e.line) +
              ", col:" + std::to_string(e.column) + ")";
  throw e;
}

Parser::Parser(std::string_view text, std::span<Token> tokens, const Dialect& dialect, Arena& arena,
               const TextIndex* positions)
    : text_(text),
      toks_(tokens.subspan(1, tokens.size() - 1 - kLookahead)),
      last_(toks_.size() - 1),
      d_(dialect),
      arena_(arena),
      positions_(positions),
      cur_(toks_.data()),
      classic_(dialect.classic),
      stack_floor_(reinterpret_cast<std::uintptr_t>(stack_floor())) {}

void DepthGuard::too_deep(Parser& p, int counts) {
  p.depth_ -= counts;
  p.fail("at most 1000 nested levels");
}

// ---- shared helpers ---------------------------------------------------------

bool Parser::word_equals(const Token& t, std::string_view lower) const {
  return equals_lower(text_of(t), lower);
}

Raw Parser::raw_since(std::size_t from_token) {
  // Measured first, then written straight into the arena.
  std::size_t size = 0;
  for (std::size_t i = from_token; i < pos_; ++i) {
    const Token& t = toks_[i];
    // Tokens written apart stay one space apart; tokens written together
    // stay together (@stage/path, a.b, f(x)).
    size += (i > from_token && t.spaced ? 1 : 0) + (t.end - t.begin);
  }
  if (size == 0) return {};
  char* const out = static_cast<char*>(arena_.allocate(size, 1));
  char* p = out;
  for (std::size_t i = from_token; i < pos_; ++i) {
    const Token& t = toks_[i];
    if (i > from_token && t.spaced) *p++ = ' ';
    std::memcpy(p, text_.data() + t.begin, t.end - t.begin);
    p += t.end - t.begin;
  }
  return {out, size};
}

void Parser::skip_group() {
  int depth = 0;
  do {
    const Token& t = peek();
    if (t.kind == Tok::kEnd || t.kind == Tok::kError) fail("a closing parenthesis");
    if (t.kind == Tok::kLParen || t.kind == Tok::kLBracket || t.kind == Tok::kLBrace) ++depth;
    if (t.kind == Tok::kRParen || t.kind == Tok::kRBracket || t.kind == Tok::kRBrace) --depth;
    advance();
  } while (depth > 0);
}

std::string_view Parser::lower_words(std::size_t from_token) {
  std::size_t size = 0;
  for (std::size_t i = from_token; i < pos_; ++i) size += (i > from_token ? 1 : 0) + (toks_[i].end - toks_[i].begin);
  if (size == 0) return {};
  char* const out = static_cast<char*>(arena_.allocate(size, 1));
  char* p = out;
  for (std::size_t i = from_token; i < pos_; ++i) {
    if (i > from_token) *p++ = ' ';
    for (char c : text_of(toks_[i])) *p++ = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  return {out, size};
}

// ---- names ------------------------------------------------------------------

Ident Parser::quoted_ident_of(const Token& t) {
  Ident id;
  id.text = text_of(t);
  id.span = {t.begin, t.end};
  if (t.kind == Tok::kQuotedName) {
    std::size_t open = 0;
    if (id.text.size() > 2 && (id.text[0] == 'U' || id.text[0] == 'u') && id.text[1] == '&') open = 2;
    char q = id.text[open];
    char close = q == '[' ? ']' : q;
    id.quote = q;
    std::string_view body = id.text.substr(open + 1, id.text.size() - open - 2);
    // "" / [] / `` name nothing (Postgres, T-SQL and MySQL reject them too).
    if (body.empty() && !classic_) fail_at(t, "a name (a quoted name may not be empty)");
    if (body.find(close) == std::string_view::npos) {
      id.value = body;
    } else {
      std::string v;
      for (std::size_t i = 0; i < body.size(); ++i) {
        v += body[i];
        if (body[i] == close && i + 1 < body.size() && body[i + 1] == close) ++i;
      }
      id.value = arena_.copy(v);
    }
  } else if (t.kind == Tok::kString) {
    id.quote = '\'';
    id.value = id.text.size() >= 2 ? id.text.substr(1, id.text.size() - 2) : id.text;
  } else {
    id.value = id.text;
  }
  return id;
}

Ident Parser::ident() {
  if (!at_name()) fail("a name");
  Ident id = ident_of(peek());
  step();
  return id;
}

Name Parser::name() {
  const std::uint32_t begin = here();
  const Ident first = ident();
  if (!at(Tok::kDot)) {
    Name n;
    n.parts = arena_.one(first);
    n.span = span_from(begin);
    return n;
  }
  SmallVec<Ident> parts;
  parts.push_back(first);
  for (;;) {
    if (at(Tok::kDot) && (at(Tok::kWord, 1) || at(Tok::kQuotedName, 1))) {
      advance();
      parts.push_back(ident_of(peek()));
      advance();
    } else if (classic_ && at(Tok::kDot)) {
      classic_fail(peek(1), "a name");  // a classic dotted name goes on with a name
    } else if (at(Tok::kDot) && at(Tok::kDot, 1) && (at(Tok::kWord, 2) || at(Tok::kQuotedName, 2))) {
      // db..table (T-SQL): the schema left out
      advance();
      Ident empty;
      empty.span = {peek().begin, peek().begin};
      parts.push_back(empty);
      advance();
      parts.push_back(ident_of(peek()));
      advance();
    } else {
      break;
    }
  }
  Name n;
  n.parts = arena_.list(parts);
  n.span = span_from(begin);
  return n;
}

List<Ident> Parser::ident_list() {
  expect(Tok::kLParen, "(");
  SmallVec<Ident> ids;
  if (!at(Tok::kRParen)) {
    do {
      ids.push_back(ident());
    } while (accept(Tok::kComma));
  }
  expect(Tok::kRParen, "a comma or )");
  return arena_.list(ids);
}

bool Parser::at_implicit_alias(bool for_table) const {
  const Token& t = peek();
  if (t.kind == Tok::kQuotedName) return true;
  if (t.kind == Tok::kString) {
    // 'alias' after a select item (T-SQL, MySQL, SQLite).
    return !for_table && (d_.id == DialectId::kTsql || d_.id == DialectId::kMysql ||
                          d_.id == DialectId::kSqlite || d_.id == DialectId::kGeneric);
  }
  if (t.kind != Tok::kWord) return false;
  // Most words here are reserved (FROM, WHERE, JOIN, ON ...): no alias, and
  // none of the tests below says otherwise for them.
  if (is_reserved(t.kw)) return false;
  // Clauses that follow a table or a query, not aliases: match_recognize (..),
  // T-SQL option (..), Oracle log errors, ClickHouse comment '..'.
  if (for_table && at(Tok::kLParen, 1) && (at_word("match_recognize") || at_word("option"))) return false;
  if (at_word("log") && at_word("errors", 1)) return false;
  if (t.kw == Kw::kComment && at(Tok::kString, 1)) return false;
  if (t.kw == Kw::kInsert) return false;  // Hive: from t insert into ..
  if (t.kw == Kw::kNone) {
    // Oracle: select a bulk collect into v ..
    return !(peek(1).kind == Tok::kWord && at_word("bulk") && at_word("collect", 1));
  }
  switch (t.kw) {
    // Words that continue a table reference or a query rather than alias it.
    case Kw::kGlobal: case Kw::kAny: case Kw::kFinal: case Kw::kArrayJoin: case Kw::kTablesample:
    case Kw::kMatchCondition: case Kw::kFormat: case Kw::kOffset: case Kw::kLateral:
    case Kw::kSettings:
      return false;
    case Kw::kSample:
      return peek(1).kind != Tok::kNumber;
    case Kw::kStart:
      return !at_kw(Kw::kWith, 1);
    case Kw::kPartition:
      return peek(1).kind != Tok::kLParen;
    case Kw::kAt:
    case Kw::kBefore:
    case Kw::kChanges:
      return !for_table || peek(1).kind != Tok::kLParen;
    case Kw::kVersion:
    case Kw::kTimestamp:
      return !(for_table && at_kw(Kw::kAs, 1) && at_kw(Kw::kOf, 2));
    default:
      return true;
  }
}

Ident Parser::opt_alias(bool for_table, bool* as_keyword) {
  *as_keyword = false;
  if (accept_kw(Kw::kAs)) {
    *as_keyword = true;
    const Token& t = peek();
    if (t.kind == Tok::kWord || t.kind == Tok::kQuotedName || t.kind == Tok::kString || t.kind == Tok::kNumber) {
      Ident id = ident_of(t);
      step();
      return id;
    }
    fail("an alias");
  }
  if (!at_implicit_alias(for_table)) return {};
  Ident id = ident_of(peek());
  step();
  return id;
}

// ---- the driver -------------------------------------------------------------

namespace {

// Parses the statement at p into `out` (new, in the script's list, so that it
// is not copied there) and leaves p where the next one may start.
void run_one(Parser& p, ScriptStatement& out, bool collect) {
  const std::size_t first = p.pos();
  out.span.begin = p.peek().begin;
  try {
    p.start_statement();
    out.tree = p.statement();
    if (!p.at(Tok::kSemicolon) && !p.at_end()) p.fail("the end of the statement");
    out.span = out.tree->span;
  } catch (const ParseError& e) {
    if (!collect) throw;
    out.tree = nullptr;
    out.error = e;
    // Resume after the next ";" (or at the end).
    p.set_pos(first);
    while (!p.at_end() && !p.at(Tok::kSemicolon) && !p.at(Tok::kError)) p.set_pos(p.pos() + 1);
    out.span.end = p.pos() > first ? p.token_end(p.pos() - 1) : out.span.begin;
    if (p.at(Tok::kError)) p.set_pos(p.pos() + 1);
  }
}

}  // namespace

namespace {

// Freed scripts this thread keeps for its next ones (none under
// AddressSanitizer, which should see every script freed).
#if defined(__SANITIZE_ADDRESS__)
#define SQLPARSE_KEEP_SCRIPTS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SQLPARSE_KEEP_SCRIPTS 0
#endif
#endif
#ifndef SQLPARSE_KEEP_SCRIPTS
#define SQLPARSE_KEEP_SCRIPTS 4
#endif
constexpr std::size_t kKeptScripts = SQLPARSE_KEEP_SCRIPTS;

// Token storage grown past this many tokens by a long script is given back
// afterwards.
constexpr std::size_t kKeptTokens = std::size_t{1} << 16;

// What each thread keeps from script to script: token storage (a short
// script then costs no allocation for its tokens) and a few freed scripts.
// One trivially destructible block, so that a script costs one thread-local
// lookup and no guard check; what it holds is freed at thread exit by a
// guard registered on first use.
// The token storage: the scanner's array, and a vector for the classic
// mode's token pass (which rewrites the tokens in place).
struct KeptTokens {
  TokenArray array;
  std::vector<Token> vector;
};

struct ThreadCaches {
  KeptTokens* tokens = nullptr;
  void* scripts[kKeptScripts > 0 ? kKeptScripts : 1] = {};
  std::size_t script_count = 0;
  bool started = false;  // the exit guard is registered
  bool gone = false;     // the thread is exiting: nothing is kept any more
};

constinit thread_local ThreadCaches thread_caches;

struct ThreadCachesGuard {
  ~ThreadCachesGuard() {
    ThreadCaches& c = thread_caches;
    delete c.tokens;
    c.tokens = nullptr;
    for (std::size_t i = 0; i < c.script_count; ++i) ::operator delete(c.scripts[i]);
    c.script_count = 0;
    c.gone = true;
  }
};

[[gnu::noinline]] void start_thread_caches(ThreadCaches& c) {
  thread_local ThreadCachesGuard guard;
  (void)guard;
  c.tokens = new KeptTokens();
  c.started = true;
}

// This thread's caches, or null once it is exiting.
ThreadCaches* caches() {
  ThreadCaches* c = &thread_caches;
  // The address taken once: the compiler would otherwise look it up again
  // (a call in a shared library) after the branch.
  asm("" : "+r"(c));
  if (!c->started) [[unlikely]] {
    if (c->gone) return nullptr;
    start_thread_caches(*c);
  }
  return c->gone ? nullptr : c;
}

// The thread's token storage for one script (storage of its own once the
// thread is exiting).
class TokenBuffer {
 public:
  explicit TokenBuffer(ThreadCaches* c) : kept_(c != nullptr ? c->tokens : &own_) {}
  ~TokenBuffer() {
    if (kept_->array.capacity() > kKeptTokens) kept_->array.release();
    if (kept_->vector.capacity() > kKeptTokens) std::vector<Token>().swap(kept_->vector);
  }
  TokenBuffer(const TokenBuffer&) = delete;
  TokenBuffer& operator=(const TokenBuffer&) = delete;
  TokenArray& array() { return kept_->array; }
  std::vector<Token>& vector() { return kept_->vector; }

 private:
  KeptTokens* kept_;
  KeptTokens own_;
};

}  // namespace

void* Script::operator new(std::size_t size) {
  if (kKeptScripts > 0 && size == sizeof(Script)) {
    ThreadCaches* c = caches();
    if (c != nullptr && c->script_count > 0) return c->scripts[--c->script_count];
  }
  return ::operator new(size);
}

void Script::operator delete(void* p, std::size_t size) noexcept {
  if (kKeptScripts > 0 && size == sizeof(Script)) {
    ThreadCaches* c = caches();
    if (c != nullptr && c->script_count < kKeptScripts) {
      c->scripts[c->script_count++] = p;
      return;
    }
  }
  ::operator delete(p);
}

std::unique_ptr<Script> parse_script(std::string_view text, const Dialect& dialect, bool collect_errors) {
  ThreadCaches* const kept = caches();
  // As Script::operator new, with the caches already looked up.
  void* memory = kept != nullptr && kept->script_count > 0 ? kept->scripts[--kept->script_count]
                                                            : ::operator new(sizeof(Script));
  // Default-initialised: value-initialising would zero the arena's first block.
  std::unique_ptr<Script> script(::new (memory) Script);
  if (text.size() >= kMaxScriptBytes) {
    ParseError e;
    e.expecting = "a text shorter than 2 GiB";
    e.found = "a text of " + std::to_string(text.size()) + " bytes";
    e.message = "Expecting " + e.expecting + ", found " + e.found;
    throw e;
  }
  // The text goes first into the arena, which also holds the tree: a short
  // script then needs no allocation of its own.
  script->arena.reserve(text.size() * 5);
  script->text = script->arena.copy_padded(text, kTextPadding);
  script->dialect = dialect;
  TokenBuffer buffer(kept);
  // The parser's tokens start with one kEnd token at offset 0 and end with
  // copies of the closing kEnd (grammar.h).
  std::span<Token> tokens;
  if (!dialect.classic) [[likely]] {
    TokenArray& array = buffer.array();
    tokenize_padded(script->text, script->dialect, array, /*lead=*/true, Parser::kLookahead);
    tokens = {array.data(), array.size()};
    script->positions.reset(script->text);
  } else {
    // (The classic mode counts its error position itself: classic_fail.)
    std::vector<Token>& vector = buffer.vector();
    TokenArray& array = buffer.array();
    tokenize_padded(script->text, script->dialect, array, /*lead=*/false, 0);
    vector.assign(array.begin(), array.end());
    classic_tokens(script->text, vector);
    vector.insert(vector.begin(), Token());
    const Token end = vector.back();
    vector.insert(vector.end(), Parser::kLookahead, end);
    tokens = {vector.data(), vector.size()};
  }
  Parser p(script->text, tokens, script->dialect, script->arena, dialect.classic ? nullptr : &script->positions);
  for (;;) {
    // The classic mode reads exactly one statement, and refuses none.
    while (!dialect.classic && p.at(Tok::kSemicolon)) p.set_pos(p.pos() + 1);
    if (p.at_end() && !(dialect.classic && script->statements.empty())) break;
    run_one(p, script->statements.emplace_back(), collect_errors);
  }
  return script;
}

}  // namespace sqlparse::syntax
