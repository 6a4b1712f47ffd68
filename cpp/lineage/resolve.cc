// Name resolution: which source a column reference reads.
//
// A qualified reference names an alias or the trailing parts of a table name,
// searched from the innermost scope outwards; a qualifier that names nothing
// is a struct column. An unqualified reference goes through the rules of
// using columns, sources known to hold the name, select-list aliases (where
// the dialect allows them) and sources of unknown columns, in that order.
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

void Analyzer::emit_column(Out& out, int column, Kind kind, bool flagged) {
  if (out.set) {
    out.set->add(Src{column, kind, flagged});
  } else if (out.ind) {
    add_indirect(*out.ind, Indirect{column, out.ind_kind});
  }
}

void Analyzer::emit(Out& out, const SourceSet& set, Kind ctx) {
  for (const Src& s : set.items()) emit_column(out, s.column, compose(ctx, s.kind), s.flagged);
}

namespace {

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The source of `scope` that the qualifier parts [0, k) name, or null.
const FromSource* find_qualifier(const Scope& scope, const std::vector<std::string>& parts,
                                 std::size_t k) {
  if (k == 1) {
    for (const FromSource& s : scope.sources) {
      if (s.exposed == parts[0]) return &s;
    }
  }
  // A table's name (any trailing run of its parts), also behind an alias.
  for (const FromSource& s : scope.sources) {
    if (s.parts.size() < k) continue;
    if (s.has_alias && k == 1 && s.type == SourceType::kRelation) continue;
    bool match = true;
    for (std::size_t i = 0; i < k && match; ++i) {
      match = s.parts[s.parts.size() - k + i] == parts[i];
    }
    if (match) return &s;
  }
  return nullptr;
}

}  // namespace

// Whether source `s` can give `column`: `found` gets its sources and
// `known_has` says the source is known to hold that name.
bool Analyzer::lookup(const FromSource& s, std::string_view column, SourceSet& found,
                      bool* known_has, bool exact) {
  *known_has = false;
  if (s.type == SourceType::kBase) {
    if (s.columns) {
      for (const std::string& c : *s.columns) {
        if (same_name(c, column)) {
          found.add(Src{column_id(s.table, c), Kind::kIdentity, false});
          *known_has = true;
          return true;
        }
      }
      return false;
    }
    found.add(Src{column_id(s.table, column, exact), Kind::kIdentity, false});
    return true;
  }
  for (const RelColumn& c : s.rel->columns) {
    if (same_name(c.name, column)) {
      found.add_all(c.sources, Kind::kIdentity);
      *known_has = true;
      return true;
    }
  }
  if (s.any_column) {
    found.add_all(s.element_sources, Kind::kIdentity);
    return true;
  }
  if (!s.rel->open_tables.empty()) {
    for (int t : s.rel->open_tables) {
      found.add(Src{column_id(t, column, exact), Kind::kIdentity, false});
    }
    return true;
  }
  return false;
}

bool Analyzer::resolve_unqualified(std::string_view column, bool struct_mode, Kind ctx,
                                   Scope& scope, Out& out, std::uint32_t at, bool exact) {
  const std::string key = lower(column);
  Scope* unresolved = nullptr;  // the innermost scope where rule 4 or 7 failed
  if (scope.output_names_first && scope.outputs) {
    for (const RelColumn& c : *scope.outputs) {
      if (lower(c.name) == key) {
        emit(out, c.sources, ctx);
        return true;
      }
    }
  }
  for (Scope* s = &scope; s; s = s->parent) {
    for (const UsingColumn& u : s->usings) {
      if (u.name == key) {
        emit(out, u.sources, ctx);
        return true;
      }
    }
    struct Candidate {
      const FromSource* src;
      SourceSet found;
    };
    std::vector<Candidate> have, maybe;
    for (const FromSource& src : s->sources) {
      SourceSet f;
      bool known_has = false;
      if (lookup(src, column, f, &known_has, exact)) {
        (known_has ? have : maybe).push_back(Candidate{&src, std::move(f)});
      }
    }
    if (have.size() == 1) {
      emit(out, have[0].found, ctx);
      return true;
    }
    std::vector<Candidate>* several = have.size() > 1 ? &have : nullptr;
    if (!several && s->outputs && s->lateral_aliases) {
      for (std::size_t i = 0; i < s->visible_aliases && i < s->aliases.size(); ++i) {
        if (s->aliases[i] == key) {
          emit(out, (*s->outputs)[i].sources, ctx);
          return true;
        }
      }
    }
    if (!several && maybe.size() == 1) {
      if (s->sources.size() > 1) {
        for (const FromSource& other : s->sources) {
          if (&other != maybe[0].src && other.type == SourceType::kBase && other.columns) {
            warn("assumed_source",
                 "column " + std::string(column) + " assumed to come from " +
                     maybe[0].src->exposed + ", the one source of unknown columns",
                 at);
            break;
          }
        }
      }
      emit(out, maybe[0].found, ctx);
      return true;
    }
    if (!several && maybe.size() > 1) several = &maybe;
    if (several) {
      std::string names;
      for (const Candidate& c : *several) {
        if (!names.empty()) names += ", ";
        names += c.src->exposed.empty() ? std::string("a derived table") : c.src->exposed;
      }
      warn("ambiguous_column", "column " + std::string(column) + " may come from " + names, at);
      for (const Candidate& c : *several) {
        for (const Src& x : c.found.items()) {
          emit_column(out, x.column, compose(ctx, x.kind), true);
        }
      }
      return true;
    }
    if (!s->sources.empty() && !unresolved) unresolved = s;
  }
  if (struct_mode) return false;
  if (!unresolved) {
    warn("unknown_column", "column " + std::string(column) + " has no source", at);
    return true;
  }
  warn("unknown_column", "no source has a column " + std::string(column), at);
  bool one = unresolved->sources.size() == 1;
  for (const FromSource& src : unresolved->sources) {
    if (src.type == SourceType::kBase) {
      emit_column(out, column_id(src.table, column, exact), ctx, !one);
    }
  }
  return true;
}

void Analyzer::column_ref(const syntax::ColumnRef& ref, Kind ctx, Scope& scope, Out& out) {
  const auto& idents = ref.name.parts;
  if (idents.empty()) return;
  for (std::string_view p : lambda_params_) {
    if (same_name(p, idents[0].value)) return;
  }
  const std::uint32_t at = ref.span.begin;
  if (idents.size() == 1) {
    resolve_unqualified(idents[0].value, false, ctx, scope, out, at, exact_name(idents[0]));
    return;
  }
  std::vector<std::string> parts;
  for (const syntax::Ident& i : idents) parts.push_back(lower(i.value));
  const std::size_t n = parts.size();
  for (Scope* s = &scope; s; s = s->parent) {
    for (std::size_t k = n - 1; k >= 1; --k) {
      const FromSource* src = find_qualifier(*s, parts, k);
      if (!src) continue;
      std::string_view column = idents[k].value;
      Kind kind = k + 1 < n ? compose(ctx, Kind::kTransformation) : ctx;
      SourceSet found;
      bool known_has = false;
      bool ok = false;
      if (src->type == SourceType::kRelation && src->element) {
        for (const RelColumn& c : src->rel->columns) {
          if (same_name(c.name, column)) {
            found.add_all(c.sources, Kind::kIdentity);
            ok = true;
            break;
          }
        }
        if (!ok) {
          found.add_all(src->element_sources, Kind::kIdentity);
          ok = true;
        }
      } else {
        ok = lookup(*src, column, found, &known_has, exact_name(idents[k]));
      }
      if (ok) {
        emit(out, found, kind);
      } else {
        warn("unknown_column",
             std::string(src->exposed) + " has no column " + std::string(column), at);
        if (src->type == SourceType::kBase) emit_column(out, column_id(src->table, column), kind, false);
      }
      return;
    }
  }
  // No source is named so: a struct column and its nested fields.
  Kind field_kind = compose(ctx, Kind::kTransformation);
  if (resolve_unqualified(idents[0].value, true, field_kind, scope, out, at,
                          exact_name(idents[0]))) {
    return;
  }
  std::string table;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (i) table += '.';
    table += idents[i].value;
  }
  warn("unknown_qualifier", "no table or alias is named " + table, at);
  emit_column(out, column_id(table_id(table, false), idents[n - 1].value), ctx, true);
}

}  // namespace sqlparse::lineage
