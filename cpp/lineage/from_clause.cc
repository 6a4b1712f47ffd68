// FROM sources: base tables, derived tables, CTE references, table functions,
// unnest and lateral views, and joins with their conditions.
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

namespace {

std::string function_name(const Expr* call) {
  if (!call || call->kind != ExprKind::kFunction) return {};
  const auto* f = static_cast<const Function*>(call);
  return f->name.parts.empty() ? std::string() : lower(f->name.last().value);
}

}  // namespace

const std::vector<std::string_view>* generator_columns(std::string_view name) {
  static const std::vector<std::string_view> kFlatten = {"seq", "key", "path", "index", "value",
                                                         "this"};
  static const std::vector<std::string_view> kExplode = {"col"};
  static const std::vector<std::string_view> kPosExplode = {"pos", "col"};
  static const std::vector<std::string_view> kEach = {"key", "value"};
  static const std::vector<std::string_view> kElements = {"value"};
  if (name == "flatten") return &kFlatten;
  if (name == "explode" || name == "explode_outer") return &kExplode;
  if (name == "posexplode" || name == "posexplode_outer") return &kPosExplode;
  if (name == "json_each" || name == "json_each_text" || name == "jsonb_each" ||
      name == "jsonb_each_text") {
    return &kEach;
  }
  if (name == "json_array_elements" || name == "jsonb_array_elements" ||
      name == "json_array_elements_text" || name == "jsonb_array_elements_text") {
    return &kElements;
  }
  return nullptr;
}

// Unaliased VALUES columns in FROM are column1, column2 .. (col1 .. in Spark
// and Hive).
void Analyzer::name_values_columns(Relation& rel) const {
  const bool spark = script_.dialect.id == DialectId::kSpark ||
                     script_.dialect.id == DialectId::kDatabricks ||
                     script_.dialect.id == DialectId::kHive;
  for (std::size_t i = 0; i < rel.columns.size(); ++i) {
    rel.columns[i].name = (spark ? "col" : "column") + std::to_string(i + 1);
  }
}

void Analyzer::apply_alias_columns(Relation& rel, const Alias* alias) {
  if (!alias) return;
  for (std::uint32_t i = 0; i < alias->columns.size(); ++i) {
    if (i < rel.columns.size()) {
      rel.columns[i].name = std::string(alias->columns[i].value);
    } else {
      rel.columns.push_back(RelColumn{std::string(alias->columns[i].value), {}, false});
    }
  }
}

void Analyzer::add_relation_source(Scope& scope, const Relation& rel, const Alias* alias,
                                   std::string default_name, bool generated) {
  FromSource src;
  src.type = SourceType::kRelation;
  src.rel = &rel;
  src.generated = generated;
  if (alias && !alias->name.value.empty()) {
    src.exposed = lower(alias->name.value);
    src.has_alias = true;
  } else {
    src.exposed = lower(default_name);
  }
  scope.sources.push_back(std::move(src));
}

void Analyzer::from_item(const TableRef* t, Scope& scope, std::vector<Indirect>& ind) {
  if (!t) return;
  DepthGuard guard(*this);
  switch (t->kind) {
    case TableKind::kNamed:
      named_table(*static_cast<const NamedTable*>(t), scope, ind);
      return;
    case TableKind::kDerived: {
      auto* d = static_cast<const DerivedTable*>(t);
      Relation& rel = new_relation();
      rel = query(d->query, &scope, false);
      if (d->query && !d->query->with && d->query->body &&
          d->query->body->kind == BodyKind::kValues) {
        name_values_columns(rel);
      }
      apply_alias_columns(rel, d->alias);
      for (const Indirect& i : rel.indirect) add_indirect(ind, i);
      add_relation_source(scope, rel, d->alias, "", false);
      return;
    }
    case TableKind::kStatement: {
      // T-SQL: from (delete t output deleted.a) as x
      auto* s = static_cast<const StatementTable*>(t);
      Relation& rel = new_relation();
      if (s->statement) rel = data_modifying_cte(*s->statement);
      apply_alias_columns(rel, s->alias);
      for (const Indirect& i : rel.indirect) add_indirect(ind, i);
      add_relation_source(scope, rel, s->alias, "", false);
      return;
    }
    case TableKind::kFunction:
      table_function(*static_cast<const TableFunction*>(t), scope, ind);
      return;
    case TableKind::kJoin:
    case TableKind::kLateralView: {
      // A left-nested chain of joins and lateral views is walked in a loop
      // from its innermost table outwards, so that long chains need no deep
      // recursion.
      std::vector<const TableRef*> spine;
      const TableRef* first = t;
      while (first && (first->kind == TableKind::kJoin || first->kind == TableKind::kLateralView)) {
        spine.push_back(first);
        first = first->kind == TableKind::kJoin ? static_cast<const Join*>(first)->left
                                                : static_cast<const LateralView*>(first)->source;
      }
      const std::size_t left_begin = scope.sources.size();
      from_item(first, scope, ind);
      for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
        if ((*it)->kind == TableKind::kJoin) {
          join(*static_cast<const Join*>(*it), left_begin, scope, ind);
        } else {
          lateral_view(*static_cast<const LateralView*>(*it), scope, ind);
        }
      }
      return;
    }
    case TableKind::kParen:
      from_item(static_cast<const ParenTable*>(t)->inner, scope, ind);
      return;
    case TableKind::kPivot:
    case TableKind::kUnpivot:
      pivot(*static_cast<const Pivot*>(t), scope, ind);
      return;
    case TableKind::kValues: {
      auto* v = static_cast<const ValuesTable*>(t);
      Relation& rel = new_relation();
      if (v->values) rel = values(*v->values, &scope);
      name_values_columns(rel);
      apply_alias_columns(rel, v->alias);
      add_relation_source(scope, rel, v->alias, "", true);
      return;
    }
  }
}

void Analyzer::named_table(const NamedTable& t, Scope& scope, std::vector<Indirect>& ind) {
  std::vector<std::string> parts = name_parts(t.name);
  if (parts.size() == 1) {
    for (const CteEnv* env = ctes_; env; env = env->parent) {
      if (env->name != parts[0]) continue;
      for (const Indirect& i : env->rel->indirect) add_indirect(ind, i);
      Relation& rel = new_relation();
      rel.columns = env->rel->columns;
      rel.open_tables = env->rel->open_tables;
      apply_alias_columns(rel, t.alias);
      add_relation_source(scope, rel, t.alias, parts[0], false);
      scope.sources.back().parts = parts;
      return;
    }
  }
  // Redshift's FROM t, t.items AS i [AT n] and BigQuery's FROM t, t.arr: a
  // nested array of an earlier source, each element a row (with its index);
  // Redshift's UNPIVOT t.obj AS v AT k: an object's values and keys. Where
  // the earlier source has no alias, only these dialects read it so, since
  // elsewhere t.items names table items of schema t.
  const bool paths_by_table_name = script_.dialect.id == syntax::DialectId::kRedshift ||
                                   script_.dialect.id == syntax::DialectId::kBigQuery;
  if (parts.size() >= 2) {
    for (const FromSource& earlier : scope.sources) {
      if (earlier.exposed != parts[0] || !(earlier.has_alias || paths_by_table_name)) continue;
      SourceSet found;
      bool known_has = false;
      if (!lookup(earlier, t.name.parts[1].value, found, &known_has)) break;
      Relation& rel = new_relation();
      SourceSet element;
      element.add_all(found, Kind::kTransformation);
      rel.columns.push_back(RelColumn{t.alias ? std::string(t.alias->name.value)
                                              : std::string(t.name.last().value),
                                      element, false});
      std::string_view at = t.hints;
      if (at.size() > 3 && (at.substr(0, 3) == "at " || at.substr(0, 3) == "AT " ||
                            at.substr(0, 3) == "At " || at.substr(0, 3) == "aT ")) {
        std::string_view index = at.substr(3);
        if (index.size() >= 2 && (index.front() == '"' || index.front() == '`')) {
          index = index.substr(1, index.size() - 2);
        }
        rel.columns.push_back(RelColumn{std::string(index), element, false});
      }
      add_relation_source(scope, rel, t.alias, std::string(t.name.last().value), true);
      scope.sources.back().element = !t.unpivot;
      scope.sources.back().element_sources = element;
      return;
    }
  }
  FromSource src;
  src.type = SourceType::kBase;
  std::string display = table_display(t.name);
  src.columns = known_columns(t.name, &display);
  src.table = table_id(display, true);
  src.parts = parts;
  if (t.alias && !t.alias->name.value.empty()) {
    src.exposed = lower(t.alias->name.value);
    src.has_alias = true;
    if (!t.alias->columns.empty()) {
      // t as x(a, b): the table's columns renamed by position.
      auto& names = column_lists_.emplace_back();
      for (const Ident& c : t.alias->columns) names.emplace_back(c.value);
      if (src.columns) {
        Relation& rel = new_relation();
        for (std::size_t i = 0; i < names.size() && i < src.columns->size(); ++i) {
          rel.columns.push_back(
              RelColumn{names[i], {}, false});
          rel.columns.back().sources.add(
              Src{column_id(src.table, (*src.columns)[i]), Kind::kIdentity, false});
        }
        add_relation_source(scope, rel, t.alias, "", false);
        scope.sources.back().parts = parts;
        return;
      }
    }
  } else {
    src.exposed = parts.empty() ? std::string() : parts.back();
  }
  scope.sources.push_back(std::move(src));
}

// Generated columns of a table function: a location reader is a base table
// named by its call; unnest over several arrays maps them by position; any
// other generator gives each column the sources of all its column arguments.
void Analyzer::table_function(const TableFunction& t, Scope& scope, std::vector<Indirect>& ind) {
  const std::string name = function_name(t.call);
  // table(t) / stream(t): the named table itself.
  if ((name == "table" || name == "stream") && t.call->kind == ExprKind::kFunction) {
    auto* f = static_cast<const Function*>(t.call);
    if (f->args.size() == 1 && f->args[0]->kind == ExprKind::kColumn) {
      NamedTable named;
      named.kind = TableKind::kNamed;
      named.name = static_cast<const ColumnRef*>(f->args[0])->name;
      named.alias = t.alias;
      named.span = t.span;
      named_table(named, scope, ind);
      return;
    }
  }
  if (is_location_reader(name)) {
    FromSource src;
    src.type = SourceType::kBase;
    std::string_view text = std::string_view(script_.text).substr(
        t.call->span.begin, t.call->span.end - t.call->span.begin);
    src.table = table_id(std::string(text), true);
    src.parts = {lower(text)};
    if (t.alias && !t.alias->name.value.empty()) {
      src.exposed = lower(t.alias->name.value);
      src.has_alias = true;
    } else {
      src.exposed = name;
    }
    scope.sources.push_back(std::move(src));
    return;
  }
  std::vector<SourceSet> per_arg;
  SourceSet all;
  if (t.call && t.call->kind == ExprKind::kFunction) {
    for (const Expr* a : static_cast<const Function*>(t.call)->args) {
      SourceSet s;
      Out out;
      out.set = &s;
      expr(a, Kind::kTransformation, scope, out);
      all.add_all(s, Kind::kIdentity);
      per_arg.push_back(std::move(s));
    }
  } else if (t.call) {
    Out out;
    out.set = &all;
    expr(t.call, Kind::kTransformation, scope, out);
  }
  Relation& rel = new_relation();
  const bool positional = (name == "unnest" && per_arg.size() > 1) || name == "arrays_zip";
  std::string alias_name = t.alias ? std::string(t.alias->name.value) : std::string();
  if (t.alias && !t.alias->columns.empty()) {
    for (std::uint32_t i = 0; i < t.alias->columns.size(); ++i) {
      RelColumn c{std::string(t.alias->columns[i].value), {}, false};
      c.sources = positional && i < per_arg.size() ? per_arg[i] : all;
      rel.columns.push_back(std::move(c));
    }
  } else if (const std::vector<std::string_view>* known = generator_columns(name)) {
    // Generators whose output columns have fixed names (flatten's value ..).
    for (std::string_view c : *known) {
      const bool value = c != "seq" && c != "index" && c != "pos" && c != "ordinality";
      rel.columns.push_back(RelColumn{std::string(c), value ? all : SourceSet{}, false});
    }
  } else {
    rel.columns.push_back(RelColumn{alias_name.empty() ? name : alias_name, all, false});
  }
  if (t.offset_alias && !t.offset_alias->name.value.empty()) {
    rel.columns.push_back(RelColumn{std::string(t.offset_alias->name.value), {}, false});
  }
  if (t.with_ordinality) rel.columns.push_back(RelColumn{"ordinality", {}, false});
  add_relation_source(scope, rel, t.alias, name, true);
  FromSource& src = scope.sources.back();
  src.element = true;
  src.any_column = !(t.alias && !t.alias->columns.empty()) && name != "unnest" &&
                   !generator_columns(name);
  src.element_sources = all;
}

void Analyzer::lateral_view(const LateralView& t, Scope& scope, std::vector<Indirect>&) {
  SourceSet all;
  Out out;
  out.set = &all;
  // inline(arrays_zip(a, b)) t as x, y: the zipped arrays by position.
  std::vector<SourceSet> zipped;
  const Expr* inner = nullptr;
  if (t.generator && t.generator->kind == ExprKind::kFunction) {
    auto* g = static_cast<const Function*>(t.generator);
    if (g->args.size() == 1) inner = g->args[0];
  }
  if (inner && function_name(inner) == "arrays_zip") {
    for (const Expr* a : static_cast<const Function*>(inner)->args) {
      SourceSet s;
      Out o;
      o.set = &s;
      expr(a, Kind::kTransformation, scope, o);
      all.add_all(s, Kind::kIdentity);
      zipped.push_back(std::move(s));
    }
  } else if (t.generator && t.generator->kind == ExprKind::kFunction) {
    for (const Expr* a : static_cast<const Function*>(t.generator)->args) {
      expr(a, Kind::kTransformation, scope, out);
    }
  } else {
    expr(t.generator, Kind::kTransformation, scope, out);
  }
  Relation& rel = new_relation();
  for (std::uint32_t i = 0; i < t.column_aliases.size(); ++i) {
    const SourceSet& set = zipped.size() == t.column_aliases.size() ? zipped[i] : all;
    rel.columns.push_back(RelColumn{std::string(t.column_aliases[i].value), set, false});
  }
  FromSource src;
  src.type = SourceType::kRelation;
  src.rel = &rel;
  src.generated = true;
  src.exposed = lower(t.table_alias.value);
  src.has_alias = !t.table_alias.value.empty();
  // Without column aliases (inline(structs) t) any column name reads the generator.
  src.any_column = t.column_aliases.empty();
  src.element_sources = all;
  scope.sources.push_back(std::move(src));
}

void Analyzer::join(const Join& j, std::size_t left_begin, Scope& scope,
                    std::vector<Indirect>& ind) {
  const std::size_t left_end = scope.sources.size();
  from_item(j.right, scope, ind);
  const std::size_t right_end = scope.sources.size();
  const bool full = j.type.find("full") != std::string_view::npos;

  std::vector<std::string> names;
  for (const Ident& c : j.using_columns) names.emplace_back(c.value);
  if (j.type.find("natural") != std::string_view::npos) {
    // The common columns, when both sides know theirs.
    auto known = [&](std::size_t from, std::size_t to) {
      std::vector<std::string> cols;
      for (std::size_t i = from; i < to; ++i) {
        const FromSource& s = scope.sources[i];
        if (s.type == SourceType::kBase) {
          if (!s.columns) return std::vector<std::string>{};
          cols.insert(cols.end(), s.columns->begin(), s.columns->end());
        } else {
          for (const RelColumn& c : s.rel->columns) cols.push_back(c.name);
        }
      }
      return cols;
    };
    auto left = known(left_begin, left_end);
    auto right = known(left_end, right_end);
    for (const std::string& l : left) {
      for (const std::string& r : right) {
        if (lower(l) == lower(r)) names.push_back(l);
      }
    }
  }
  for (const std::string& name : names) {
    SourceSet left_src, right_src;
    auto side = [&](std::size_t from, std::size_t to, SourceSet& found) {
      // A column joined earlier on the left side is that column.
      for (const UsingColumn& u : scope.usings) {
        if (from == left_begin && u.name == lower(name)) {
          found = u.sources;
          return;
        }
      }
      const FromSource* maybe = nullptr;
      for (std::size_t i = from; i < to; ++i) {
        SourceSet f;
        bool known_has = false;
        if (lookup(scope.sources[i], name, f, &known_has)) {
          if (known_has) {
            found = std::move(f);
            return;
          }
          if (!maybe) maybe = &scope.sources[i];
        }
      }
      if (maybe) {
        bool known_has = false;
        lookup(*maybe, name, found, &known_has);
      }
    };
    side(left_begin, left_end, left_src);
    side(left_end, right_end, right_src);
    for (const Src& s : left_src.items()) add_indirect(ind, Indirect{s.column, IndirectKind::kJoin});
    for (const Src& s : right_src.items()) add_indirect(ind, Indirect{s.column, IndirectKind::kJoin});
    UsingColumn u{lower(name), left_src};
    if (full) u.sources.add_all(right_src, Kind::kIdentity);
    bool replaced = false;
    for (UsingColumn& have : scope.usings) {
      if (have.name == u.name) {
        have = u;
        replaced = true;
      }
    }
    if (!replaced) scope.usings.push_back(std::move(u));
  }
  if (j.on || j.match_condition) {
    std::vector<Indirect>* saved = scope.indirect;
    scope.indirect = &ind;
    indirect_expr(j.on, IndirectKind::kJoin, scope);
    indirect_expr(j.match_condition, IndirectKind::kJoin, scope);
    scope.indirect = saved;
  }
}

}  // namespace sqlparse::lineage
