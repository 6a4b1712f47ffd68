// A script: each statement's lineage, and the lineage composed through the
// tables that earlier statements of the script wrote.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

namespace {

Kind kind_of(std::string_view name) {
  if (name == "transformation") return Kind::kTransformation;
  if (name == "aggregation") return Kind::kAggregation;
  if (name == "window") return Kind::kWindow;
  if (name == "conditional") return Kind::kConditional;
  return Kind::kIdentity;
}

// Sources by (table, column), in order of first occurrence, strongest kind
// kept; names compare case-insensitively.
class SourceList {
 public:
  void add(const SourceColumn& s) {
    auto [it, fresh] = index_.try_emplace(lower(s.table) + '\0' + lower(s.column), list_.size());
    if (fresh) {
      list_.push_back(s);
      return;
    }
    SourceColumn& have = list_[it->second];
    if (value_rank(kind_of(s.kind)) > value_rank(kind_of(have.kind))) have.kind = s.kind;
  }
  const std::vector<SourceColumn>& items() const { return list_; }

 private:
  std::vector<SourceColumn> list_;
  std::unordered_map<std::string, std::size_t> index_;
};

struct WrittenTable {
  std::vector<std::pair<std::string, SourceList>> columns;
  std::unordered_map<std::string, std::size_t> by_name;  // lower-cased

  SourceList* find(std::string_view name) {
    auto it = by_name.find(lower(name));
    return it == by_name.end() ? nullptr : &columns[it->second].second;
  }
  SourceList& at(const std::string& name) {
    auto [it, fresh] = by_name.try_emplace(lower(name), columns.size());
    if (fresh) columns.emplace_back(name, SourceList());
    return columns[it->second].second;
  }
};

bool writes(const StatementLineage& s) {
  return s.target && (s.kind == "insert" || s.kind == "create_table_as" ||
                      s.kind == "create_view" || s.kind == "merge" || s.kind == "update");
}

// One statement to answer for: a statement of the script, or one held
// inside a statement kept as other.
struct Unit {
  const syntax::Statement* tree;
  syntax::Span span;
  const std::optional<sql_parser::ParseError>* error;
};

bool moves_data(const syntax::Statement& s, int depth = 0) {
  using syntax::StatementKind;
  if (s.kind == StatementKind::kOther) {
    if (depth > syntax::kMaxDepth) return false;
    for (const syntax::Statement* b : static_cast<const syntax::Other&>(s).body) {
      if (moves_data(*b, depth + 1)) return true;
    }
    return false;
  }
  return s.kind != StatementKind::kSelect;
}

// A statement kept as other whose body writes tables (a Hive multi-insert,
// Oracle's INSERT ALL, a procedure or block) is answered by the statements
// it holds, each with its own span; one that only reads (COPY .. FROM
// (SELECT ..), UNLOAD, EXPORT DATA) stays other.
void add_units(const syntax::Statement* tree, syntax::Span span,
               const std::optional<sql_parser::ParseError>* error, std::vector<Unit>& out,
               int depth = 0) {
  if (tree && tree->kind == syntax::StatementKind::kOther && depth <= syntax::kMaxDepth &&
      moves_data(*tree)) {
    for (const syntax::Statement* b : static_cast<const syntax::Other*>(tree)->body) {
      add_units(b, b->span, nullptr, out, depth + 1);
    }
    return;
  }
  out.push_back(Unit{tree, span, error});
}

}  // namespace

ScriptLineage analyze_lineage(const syntax::Script& script, const Schema& schema) {
  ScriptLineage result;
  KnownTables known;
  std::unordered_map<std::string, WrittenTable> written;
  std::vector<Unit> units;
  for (const syntax::ScriptStatement& ss : script.statements) {
    add_units(ss.tree, ss.span, &ss.error, units);
  }
  // Each answer in script order: tables written earlier compose into it.
  auto answer = [&](StatementLineage st, syntax::Span span) {
    st.start = script.positions.char_offset(span.begin);
    st.end = script.positions.char_offset(span.end);
    script.positions.line_column(span.begin, &st.start_line, &st.start_column);

    bool reads = false;
    for (const std::string& t : st.source_tables) reads = reads || written.count(lower(t));
    const bool writes_table = writes(st);
    if (!reads && !writes_table) {
      result.statements.push_back(std::move(st));
      return;
    }
    std::vector<SourceList> composed(st.columns.size());
    for (std::size_t i = 0; i < st.columns.size(); ++i) {
      for (const SourceColumn& s : st.columns[i].sources) {
        auto w = written.find(lower(s.table));
        SourceList* earlier = w == written.end() ? nullptr : w->second.find(s.column);
        if (!earlier && w != written.end() && s.column != "*") {
          // Written through a star over unknown columns: the column of that
          // name of the tables beneath.
          if (SourceList* star = w->second.find("*")) {
            for (const SourceColumn& e : star->items()) {
              SourceColumn c = e;
              if (c.column == "*") c.column = s.column;
              c.kind = std::string(kind_name(compose(kind_of(s.kind), kind_of(e.kind))));
              composed[i].add(c);
            }
            continue;
          }
        }
        if (!earlier) {
          composed[i].add(s);
          continue;
        }
        for (const SourceColumn& e : earlier->items()) {
          SourceColumn c = e;
          c.kind = std::string(kind_name(compose(kind_of(s.kind), kind_of(e.kind))));
          composed[i].add(c);
        }
      }
      if (reads) {
        result.composed.push_back(
            ComposedColumn{st.target, st.columns[i].name, composed[i].items()});
      }
    }
    if (writes_table) {
      WrittenTable& w = written[lower(*st.target)];
      for (std::size_t i = 0; i < st.columns.size(); ++i) {
        SourceList& have = w.at(st.columns[i].name);
        for (const SourceColumn& s : composed[i].items()) have.add(s);
      }
    }
    result.statements.push_back(std::move(st));
  };
  for (const Unit& ss : units) {
    StatementLineage st;
    if (ss.tree) {
      Analyzer analyzer(script, schema, known);
      st = analyzer.analyze(*ss.tree);
      // A table made by a star over unknown columns has no known columns.
      if (const auto& created = analyzer.created()) {
        bool star = false;
        for (const std::string& c : created->second) star = star || c == "*";
        if (!star) known[lower(created->first)] = created->second;
      }
      for (HeldStatement& held : analyzer.held()) answer(std::move(held.lineage), held.span);
      answer(std::move(st), ss.span);
      for (HeldStatement& held : analyzer.after()) answer(std::move(held.lineage), held.span);
      continue;
    }
    st.kind = "other";
    if (ss.error) st.error = *ss.error;
    answer(std::move(st), ss.span);
  }
  return result;
}

}  // namespace sqlparse::lineage
