// Statements kept as text under their leading words (GRANT, SET, COPY, ...),
// and procedural blocks, whose inner ";" do not end the statement.
//
// A block is followed token by token: BEGIN, CASE, a scripting IF .. THEN,
// WHILE / FOR .. DO, LOOP and REPEAT each open one level that one END closes
// (END IF, END LOOP, END CASE ... all count as one END). Oracle and Snowflake
// DECLARE sections open the level their BEGIN would open. Data statements at
// the start of an inner statement are parsed into Other.body; one that does
// not parse is skipped, as the block stays valid text either way.
#include <iterator>
#include <string>
#include <vector>

#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

// Leading words of the statements kept as Other.
constexpr std::string_view kOtherHeads[] = {
    "alter",    "analyze",   "analyse",    "attach",  "begin",     "cache",     "call",
    "checkpoint", "clear",     "close",   "cluster",   "comment",   "commit",
    "copy",     "create",    "deallocate", "declare", "define",    "desc",      "describe",
    "detach",   "discard",   "do",         "drop",    "end",       "exec",      "execute",
    "explain",  "export",    "fetch",      "for",     "get",       "go",        "grant",
    "if",       "import",    "install",    "kill",    "list",      "listen",    "load",
    "lock",     "loop",      "msck",       "notify",  "open",      "optimize",  "pragma",
    "prepare",  "print",     "put",        "raise",   "raiserror", "refresh",   "reindex",
    "release",  "remove",    "rename",     "repeat",  "reset",     "return",    "revoke",
    "rollback", "savepoint", "set",        "show",    "start",     "summarize", "throw",
    "truncate", "uncache",   "undrop",     "unload",  "unlock",    "unset",     "use",
    "vacuum",   "waitfor",   "while",      "abort",   "update",    "assert",    "convert",
    "restore",  "add",       "system",     "exchange", "deny",     "bulk",      "backup",
    "flush",    "purge",     "pivot",      "unpivot",
};

// What CREATE / ALTER / DROP / UNDROP / DEFINE may name.
constexpr std::string_view kObjectKinds[] = {
    "table",      "view",       "function",    "procedure",   "proc",       "schema",
    "database",   "index",      "sequence",    "type",        "role",       "user",
    "group",      "stage",      "stream",      "task",        "warehouse",  "trigger",
    "extension",  "file",       "pipe",        "policy",      "tag",        "share",
    "integration", "catalog",   "macro",       "model",       "package",    "dictionary",
    "clustered",  "nonclustered", "fulltext",  "bitmap",      "connection", "secret",
    "cast",       "operator",   "aggregate",   "domain",      "collation",  "publication",
    "subscription", "server",   "foreign",     "event",       "rule",       "statistics",
    "tablespace", "login",      "synonym",     "alert",       "masking",    "row",
    "network",    "resource",   "notification", "snapshot",   "language",   "transform",
    "access",     "conversion", "text",        "job",         "certificate", "master",
    "credential", "session",    "system",      "account",     "column",     "constraint",
    "partition",  "location",   "volume",      "quota",       "settings",   "profile",
    "spatial",    "search",     "temporary",   "cube",        "dataset",    "capacity",
    "reservation", "assignment", "vector",     "dynamic",
    "application", "compute",   "external",    "library",     "service",    "image",
    "authorization", "organization", "failover", "replication", "streaming", "live",
    "materialized", "projection", "password",  "security",    "cursor",     "columnstore",
    "semantic",   "sql",        "definer",     "algorithm",   "or",         "noforce",
    "force",      "editionable", "public",     "private",     "global",     "local",
    "if",         "iceberg",    "hybrid",      "transient",   "volatile",   "unlogged",
    "secure",     "recursive",  "unique",      "multiset",    "set",        "trusted",
    "temp",       "body",       "directory",   "outline",     "context",    "dimension",
    "virtual",
};

// Heads whose object word follows: "create table", "drop view".
constexpr std::string_view kTwoWordHeads[] = {
    "alter", "create", "define", "drop", "undrop", "show", "truncate", "update",
};

// Words skipped between a two-word head and its object word.
constexpr std::string_view kHeadModifiers[] = {
    "or",        "replace",  "alter",     "refresh",  "global",   "local",   "temporary",
    "temp",      "transient", "volatile", "external", "unlogged", "secure",  "recursive",
    "private",   "live",     "streaming", "multiset", "dynamic",  "unique",  "materialized",
    "public",    "if",       "not",       "exists",   "iceberg",  "hybrid",  "editionable",
    "noneditionable", "force", "noforce", "aggregate", "trusted",  "constraint",
};

// Objects of CREATE / ALTER whose body is a block.
constexpr std::string_view kRoutineKinds[] = {
    " procedure", " proc", " function", " trigger", " package", " task", " event", " macro",
};

// Words after BEGIN that make it a transaction rather than a block.
constexpr std::string_view kTransactionWords[] = {
    "transaction", "tran", "work", "distributed", "isolation", "read",
    "deferred",    "immediate", "exclusive", "name",
};

// Words after END that belong to it: end if, end loop, end try ...
constexpr std::string_view kEndWords[] = {
    "if", "loop", "while", "repeat", "for", "case", "try", "catch",
};

}  // namespace

bool Parser::other_head_ok() const {
  // The statement's first words must be a known form, so that noise
  // starting with such a word is still rejected.
  if (!at_any_word(kOtherHeads, std::size(kOtherHeads))) return false;
  const Token& next = peek(1);
  bool ends = next.kind == Tok::kSemicolon || next.kind == Tok::kEnd;
  if (at_kw(Kw::kEnd)) return ends || at_word("transaction", 1) || at_word("work", 1);
  if (at_kw(Kw::kUpdate)) return at_word("statistics", 1);
  if (at_kw(Kw::kSet)) return at_name(1) || next.kind == Tok::kParam || next.kind == Tok::kLParen;
  if (at_kw(Kw::kTruncate)) return at_name(1);
  if (at_kw(Kw::kCreate) || at_kw(Kw::kAlter) || at_kw(Kw::kDrop) || at_word("undrop") ||
      at_word("define"))
    return at_any_word(kObjectKinds, std::size(kObjectKinds), 1);
  return true;
}

Statement* Parser::other_statement(std::uint32_t begin) {
  std::size_t start = pos_;
  if (!other_head_ok()) fail("a statement");
  auto* o = node<Other>(begin);
  o->kind = StatementKind::kOther;
  o->head = other_head();
  std::vector<Statement*> body;
  scan_other(start, o->head, body);
  o->text = raw_since(start);
  o->body = arena_.list(body);
  return finish(o);
}

std::string_view Parser::other_head() {
  std::string head = lower_ascii(text_of(peek()));
  if (at_any_word(kTwoWordHeads, std::size(kTwoWordHeads))) {
    std::size_t i = 1;
    while (at_any_word(kHeadModifiers, std::size(kHeadModifiers), i)) ++i;
    if (peek(i).kind == Tok::kWord) {
      head.push_back(' ');
      head.append(lower_ascii(text_of(peek(i))));
      if (at_kw(Kw::kTable, i) && at_kw(Kw::kFunction, i + 1)) head.append(" function");
    }
  }
  return arena_.copy(head);
}

bool Parser::at_block_begin() const {
  // BEGIN opens a block unless it starts a transaction (begin; begin work;
  // begin transaction; sqlite begin immediate ...).
  if (!at_kw(Kw::kBegin)) return false;
  if (pos_ > 0 && toks_[pos_ - 1].kind == Tok::kDot) return false;
  const Token& next = peek(1);
  if (next.kind == Tok::kSemicolon || next.kind == Tok::kEnd || next.kind == Tok::kDot ||
      next.kind == Tok::kComma || is_close(next.kind))
    return false;
  // begin + 1 is a column; begin :new.a := 1 (Oracle) is a block.
  if (next.kind == Tok::kOp && next.op != Op::kColon) return false;
  return !at_any_word(kTransactionWords, std::size(kTransactionWords), 1);
}

bool Parser::if_has_then() const {
  // A scripting IF (.. THEN .. END IF), as against T-SQL's IF cond stmt.
  int parens = 0;
  int cases = 0;
  for (std::size_t i = pos_ + 1; i < toks_.size(); ++i) {
    const Token& t = toks_[i];
    if (t.kind == Tok::kEnd || (parens == 0 && t.kind == Tok::kSemicolon)) return false;
    if (is_open(t.kind)) ++parens;
    if (is_close(t.kind) && --parens < 0) return false;
    if (parens != 0 || t.kind != Tok::kWord) continue;
    if (t.kw == Kw::kCase) ++cases;
    if (t.kw == Kw::kEnd && cases > 0) --cases;
    if (t.kw == Kw::kBegin) return false;
    if (t.kw == Kw::kThen && cases == 0) return true;
  }
  return false;
}

bool Parser::try_inner_query(std::vector<Statement*>& body) {
  // A parenthesised query inside a statement kept as text.
  std::size_t at_start = pos_;
  try {
    advance();  // (
    auto* s = node<SelectStatement>(peek().begin);
    s->kind = StatementKind::kSelect;
    s->query = query();
    finish(s);
    expect(Tok::kRParen, "\")\"");
    body.push_back(s);
    return true;
  } catch (const ParseError&) {
    set_pos(at_start);
    return false;
  }
}

bool Parser::try_inner_statement(std::vector<Statement*>& body) {
  // A data statement inside a block; on failure the caller goes on token by
  // token from the same place.
  const Token& t = peek();
  bool data = t.kind == Tok::kWord &&
              (t.kw == Kw::kInsert || t.kw == Kw::kUpdate || t.kw == Kw::kMerge ||
               t.kw == Kw::kDelete || t.kw == Kw::kSelect || t.kw == Kw::kWith ||
               t.kw == Kw::kReplace || t.kw == Kw::kUpsert || t.kw == Kw::kCreate);
  if (!data) return false;
  std::size_t at_start = pos_;
  try {
    Statement* s = statement();
    if (s->kind != StatementKind::kOther || !static_cast<Other*>(s)->body.empty())
      body.push_back(s);
    return pos_ > at_start;
  } catch (const ParseError&) {
    set_pos(at_start);
    return false;
  }
}

void Parser::scan_other(std::size_t start, std::string_view head, std::vector<Statement*>& body) {
  bool declare_blocks = d_.id == DialectId::kOracle || d_.id == DialectId::kSnowflake;
  // Oracle create procedure .. is|as <declarations> begin .. end.
  bool routine_as = d_.id == DialectId::kOracle &&
                    (head == "create procedure" || head == "create function" ||
                     head == "create trigger" || head == "create package" ||
                     head == "create type");
  bool routine = false;  // a procedure-like object whose body follows
  for (std::string_view kind : kRoutineKinds)
    if (head.ends_with(kind) && (head.starts_with("create ") || head.starts_with("alter ")))
      routine = true;
  int depth = 0;            // open blocks
  int pending_begin = 0;    // DECLARE sections whose BEGIN opens no new level
  int pending_loop = 0;     // WHILE / FOR waiting for DO or LOOP
  bool stmt_start = true;   // at the first token of an inner statement
  while (!at_end()) {
    const Token& t = peek();
    if (t.kind == Tok::kError) fail("a token");  // reports the lexer's error
    if (t.kind == Tok::kSemicolon) {
      if (depth == 0) break;
      advance();
      stmt_start = true;
      pending_loop = 0;
      continue;
    }
    if (is_open(t.kind)) {
      // copy (select ..) to, unload ((select ..)), if exists (select ..):
      // the query is read, so the body keeps it.
      if (!starts_query(0) || !try_inner_query(body)) skip_group();
      stmt_start = false;
      continue;
    }
    if (is_close(t.kind)) break;  // the caller reports the stray bracket
    if (t.kind != Tok::kWord || (pos_ > 0 && toks_[pos_ - 1].kind == Tok::kDot) ||
        at(Tok::kDot, 1)) {
      advance();
      stmt_start = false;
      continue;
    }
    if (stmt_start && pos_ != start && try_inner_statement(body)) {
      stmt_start = true;  // T-SQL needs no ";" between statements
      continue;
    }
    bool first = pos_ == start;
    bool opens_here = stmt_start || depth > 0 || first || routine ||
                      (pos_ > 0 && toks_[pos_ - 1].kind == Tok::kOp &&
                       toks_[pos_ - 1].op == Op::kColon) ||
                      head == "if" || head == "while" || head == "for" || head == "declare";
    bool next_start = false;
    switch (t.kw) {
      case Kw::kBegin:
        if (opens_here && at_block_begin()) {
          if (pending_begin > 0)
            --pending_begin;
          else
            ++depth;
          pending_loop = 0;
          next_start = true;
          // T-SQL begin try / begin catch, Postgres begin atomic.
          if (at_word("try", 1) || at_word("catch", 1) || at_word("atomic", 1)) advance();
        }
        break;
      case Kw::kCase:
        ++depth;
        break;
      case Kw::kEnd:
        if (depth > 0 && !first) {
          --depth;
          advance();
          // end if / end loop / end label;
          if (at_any_word(kEndWords, std::size(kEndWords)) ||
              (at_name() && !at_kw(Kw::kElse) &&
               (at(Tok::kSemicolon, 1) || at(Tok::kEnd, 1))))
            advance();
          stmt_start = true;
          continue;
        }
        break;
      case Kw::kIf:
        if (stmt_start && if_has_then()) ++depth;
        break;
      case Kw::kThen:
      case Kw::kElse:
        next_start = true;
        break;
      case Kw::kDo:
        if (pending_loop > 0) {
          --pending_loop;
          ++depth;
          next_start = true;
        }
        break;
      case Kw::kDeclare:
        if (declare_blocks && (stmt_start || routine) && !at(Tok::kParam, 1)) {
          ++depth;
          ++pending_begin;
          next_start = true;
        }
        break;
      case Kw::kAs:
        if (routine_as && depth == 0 && !at(Tok::kString, 1) && !at_kw(Kw::kBegin, 1)) {
          ++depth;
          ++pending_begin;
          routine_as = false;
        }
        // create procedure .. as <body>; cache table t as select ..;
        // export data .. as select ..
        if (routine || starts_query(1)) next_start = true;
        break;
      default:
        if (at_word("loop") && (stmt_start || pending_loop > 0)) {
          if (pending_loop > 0) --pending_loop;
          ++depth;
          next_start = true;
        } else if ((at_word("while") || at_kw(Kw::kFor)) && stmt_start) {
          ++pending_loop;
        } else if (at_word("repeat") && stmt_start && !at(Tok::kLParen, 1)) {
          ++depth;
          next_start = true;
        } else if (at_word("is") && routine_as && depth == 0) {
          if (!at_kw(Kw::kBegin, 1)) {
            ++depth;
            ++pending_begin;
          }
          routine_as = false;
          next_start = true;
        }
        break;
    }
    advance();
    stmt_start = next_start;
  }
  if (depth > 0 && at_end()) fail("END");
}

}  // namespace sqlparse::syntax
