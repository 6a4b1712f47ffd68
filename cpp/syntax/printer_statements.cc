// The printer's queries, FROM clauses and statements (see printer.cc).
#include "syntax/printer_internal.h"

namespace sqlparse::syntax::printing {

// ---- queries ---------------------------------------------------------------

void Printer::with(const With& w) {
  kw("with");
  if (w.recursive) kw("recursive");
  bool first = true;
  for (const Cte& c : w.ctes) {
    if (!first) comma();
    first = false;
    if (c.expr != nullptr) {  // ClickHouse: with <expr> as name
      expr(c.expr);
      kw("as");
      ident(c.name);
      continue;
    }
    ident(c.name);
    if (!c.columns.empty()) ident_list(c.columns);
    kw("as");
    put(c.materialized);
    if (c.dml != nullptr) {
      put("(");
      statement(*c.dml);
      glue(")");
    } else {
      paren_query(c.query);
    }
  }
}

void Printer::query(const Query* q) {
  if (q == nullptr) return;
  Guard guard(*this);
  if (q->with != nullptr) with(*q->with);
  body(q->body);
  query_tail(*q);
}

void Printer::query_tail(const Query& q) {
  if (!q.order_by.empty()) {
    kw("order by");
    order_items(q.order_by);
  }
  auto offset = [&] {
    if (q.offset == nullptr) return;
    kw("offset");
    expr(q.offset);
    if (q.offset_rows) kw("rows");
  };
  if (q.limit_comma) {
    kw("limit");
    expr(q.offset);
    comma();
    expr(q.limit);
  } else {
    if (q.offset_before_limit) offset();
    if (q.limit != nullptr) {
      kw("limit");
      expr(q.limit);
      if (!q.limit_by.empty()) {
        kw("by");
        exprs(q.limit_by);
      }
    }
    if (!q.offset_before_limit) offset();
  }
  if (q.fetch != nullptr) {
    const Fetch& f = *q.fetch;
    kw("fetch");
    kw(f.first);
    expr(f.count);
    if (f.percent) kw("percent");
    kw(f.rows);
    kw(f.with_ties ? "with ties" : "only");
  }
  put(q.trailing);
  for (const PipeOp& p : q.pipes) pipe(p);
}

void Printer::pipe(const PipeOp& p) {
  put("|>");
  if (p.join != nullptr) {  // the join's left side is the pipe's input
    table(p.join);
    return;
  }
  kw(p.op);
  kw(p.quantifier);
  if (p.by_name) kw("by name");
  bool first = true;
  for (const Query* q : p.queries) {
    if (!first) comma();
    first = false;
    paren_query(q);
  }
  if (!p.set.empty()) assignments(p.set);
  select_items(p.items);
  if (!p.group_by.empty()) {
    kw("group by");
    exprs(p.group_by);
  }
  put(p.rest);
}

void Printer::body(const QueryBody* b) {
  if (b == nullptr) return;
  Guard guard(*this);
  switch (b->kind) {
    case BodyKind::kSelect:
      select(static_cast<const Select&>(*b));
      return;
    case BodyKind::kSetOp: {
      const auto& s = static_cast<const SetOp&>(*b);
      body(s.left);
      put(s.modifier);
      kw(s.op);
      kw(s.quantifier);
      put(s.by_name);
      body(s.right);
      return;
    }
    case BodyKind::kParen:
      paren_query(static_cast<const ParenQuery&>(*b).query);
      return;
    case BodyKind::kValues:
      values(static_cast<const Values&>(*b));
      return;
    case BodyKind::kTable:
      kw("table");
      name(static_cast<const TableBody&>(*b).name);
      return;
    case BodyKind::kPivot:
      pivot_statement(*static_cast<const PivotBody&>(*b).pivot);
      return;
  }
}

void Printer::values(const Values& v) {
  kw("values");
  bool first = true;
  for (const Expr* row : v.rows) {
    if (!first) comma();
    // ROW marks the parenthesised rows only: values row(1), -x
    const bool parenthesised = row->kind == ExprKind::kParen || row->kind == ExprKind::kSubquery ||
                               (row->kind == ExprKind::kTuple &&
                                static_cast<const TupleExpr*>(row)->keyword.empty());
    if (v.row_keyword && parenthesised) kw("row");
    expr(row);
    first = false;
  }
}

void Printer::select_items(const List<SelectItem>& items) {
  comma_list(items, [&](const SelectItem& item) { select_item(item); });
}

void Printer::select_item(const SelectItem& item) {
  expr(item.expr);
  if (!empty(item.alias)) {
    if (item.as_keyword) kw("as");
    ident(item.alias);
  }
  if (!item.aliases.empty()) {
    if (item.as_keyword) kw("as");
    ident_list(item.aliases);
  }
}

void Printer::script_transform(const ScriptTransform& t) {
  kw("transform");
  paren_exprs(t.args);
  put(t.before_using);
  kw("using");
  put(t.script);
  if (!t.columns.empty()) {
    kw("as");
    if (t.as_parenthesised) {
      column_defs(t.columns);
    } else {
      bool first = true;
      for (const ColumnDef& c : t.columns) {
        if (!first) comma();
        first = false;
        ident(c.name);
      }
    }
  }
  put(t.after);
}

void Printer::select(const Select& s) {
  if (s.from_first) {
    kw("from");
    tables(s.from);
  }
  if (!s.items.empty() || !s.from_first) {
    kw("select");
    kw(s.distinct);
    if (!s.distinct_on.empty()) {
      kw("on");
      paren_exprs(s.distinct_on);
    }
    if (s.top != nullptr) {
      kw("top");
      expr(s.top);
      if (s.top_percent) kw("percent");
      if (s.top_with_ties) kw("with ties");
    }
    if (s.transform != nullptr) script_transform(*s.transform);
    select_items(s.items);
  }
  if (!s.into.parts.empty()) {
    kw("into");
    put(s.into_modifier);
    name(s.into);
  }
  if (!s.from_first && !s.from.empty()) {
    kw("from");
    tables(s.from);
  }
  if (s.prewhere != nullptr) {
    kw("prewhere");
    expr(s.prewhere);
  }
  if (s.where != nullptr) {
    kw("where");
    expr(s.where);
  }
  if (s.start_with != nullptr) {
    kw("start with");
    expr(s.start_with);
  }
  if (s.connect_by_condition != nullptr || !s.connect_by.empty()) {
    // The Raw keeps the words themselves: "connect by", "CONNECT BY NOCYCLE".
    if (s.connect_by.empty()) kw("connect by");
    put(s.connect_by);
    expr(s.connect_by_condition);
  }
  if (s.group_by_all || !s.group_by.empty() || !s.group_by_modifier.empty()) {
    kw("group by");
    if (s.group_by_all) kw("all");
    kw(s.group_by_quantifier);
    exprs(s.group_by);
    put(s.group_by_modifier);
  }
  if (s.having != nullptr) {
    kw("having");
    expr(s.having);
  }
  if (!s.windows.empty()) {
    kw("window");
    bool first = true;
    for (const NamedWindow& w : s.windows) {
      if (!first) comma();
      ident(w.name);
      kw("as");
      if (w.spec != nullptr) window_spec(*w.spec);
      first = false;
    }
  }
  if (s.qualify != nullptr) {
    kw("qualify");
    expr(s.qualify);
  }
  if (!s.cluster_by.empty()) {
    kw("cluster by");
    exprs(s.cluster_by);
  }
  if (!s.distribute_by.empty()) {
    kw("distribute by");
    exprs(s.distribute_by);
  }
  if (!s.sort_by.empty()) {
    kw("sort by");
    order_items(s.sort_by);
  }
  put(s.sample);
}

// ---- FROM ------------------------------------------------------------------

void Printer::alias(const Alias* a) {
  if (a == nullptr) return;
  if (a->as_keyword) kw("as");
  if (!empty(a->name)) ident(a->name);
  if (!a->columns.empty()) ident_list(a->columns);
}

void Printer::table(const TableRef* t) {
  if (t == nullptr) return;
  Guard guard(*this);
  table_body(*t);
  put(t->match_recognize);
}

void Printer::table_body(const TableRef& tr) {
  const TableRef* t = &tr;
  switch (t->kind) {
    case TableKind::kNamed: {
      const auto& n = static_cast<const NamedTable&>(*t);
      if (n.only) kw("only");
      if (n.unpivot) kw("unpivot");
      name(n.name);
      if (!n.args.empty()) {
        glue("(");
        exprs(n.args);
        glue(")");
      }
      if (n.time_travel != nullptr) {
        const TimeTravel& tt = *n.time_travel;
        kw(tt.form);
        if (tt.form == "at" || tt.form == "before") {
          // Snowflake: AT(TIMESTAMP => value), BEFORE(STATEMENT => id)
          glue("(");
          if (!tt.kind.empty()) {
            put(tt.kind);
            put("=>");
          }
          expr(tt.value);
          glue(")");
        } else {
          expr(tt.value);
        }
      }
      put(n.partition);
      alias(n.alias);
      if (n.final) kw("final");
      put(n.hints);
      put(n.sample);
      return;
    }
    case TableKind::kDerived: {
      const auto& d = static_cast<const DerivedTable&>(*t);
      if (d.lateral) kw("lateral");
      paren_query(d.query);
      alias(d.alias);
      return;
    }
    case TableKind::kStatement: {
      const auto& s = static_cast<const StatementTable&>(*t);
      put("(");
      if (s.statement != nullptr) statement(*s.statement);
      glue(")");
      alias(s.alias);
      return;
    }
    case TableKind::kFunction: {
      const auto& f = static_cast<const TableFunction&>(*t);
      if (f.lateral) kw("lateral");
      expr(f.call);
      if (f.with_ordinality) kw("with ordinality");
      put(f.with_schema);
      alias(f.alias);
      if (f.with_offset) {
        kw("with offset");
        alias(f.offset_alias);
      }
      return;
    }
    case TableKind::kJoin: {
      const auto& j = static_cast<const Join&>(*t);
      table(j.left);
      kw(j.type);
      table(j.right);
      if (j.match_condition != nullptr) {
        kw("match_condition");
        put("(");
        expr(j.match_condition);
        glue(")");
      }
      if (j.on != nullptr) {
        kw("on");
        expr(j.on);
      }
      if (!j.using_columns.empty()) {
        kw("using");
        ident_list(j.using_columns);
        alias(j.using_alias);
      }
      return;
    }
    case TableKind::kParen: {
      const auto& p = static_cast<const ParenTable&>(*t);
      put("(");
      table(p.inner);
      glue(")");
      alias(p.alias);
      return;
    }
    case TableKind::kPivot:
      pivot(static_cast<const Pivot&>(*t), false);
      return;
    case TableKind::kUnpivot:
      pivot(static_cast<const Pivot&>(*t), true);
      return;
    case TableKind::kLateralView: {
      const auto& l = static_cast<const LateralView&>(*t);
      table(l.source);
      kw("lateral view");
      if (l.outer) kw("outer");
      expr(l.generator);
      if (!empty(l.table_alias)) ident(l.table_alias);
      if (!l.column_aliases.empty()) {
        kw("as");
        idents(l.column_aliases);
      }
      return;
    }
    case TableKind::kValues: {
      // FROM VALUES (..), (..) t(a): written without parentheses (with
      // them it is a derived table).
      const auto& v = static_cast<const ValuesTable&>(*t);
      if (v.values != nullptr) values(*v.values);
      alias(v.alias);
      return;
    }
  }
}

void Printer::pivot_statement(const Pivot& p) {
  const bool unpivot = p.kind == TableKind::kUnpivot;
  kw(unpivot ? "unpivot" : "pivot");
  table(p.source);
  kw("on");
  if (unpivot) {
    select_items(p.in_items);
    if (!p.for_columns.empty()) {
      kw("into name");
      exprs(p.for_columns);
      kw("value");
      select_items(p.aggregates);
    }
    return;
  }
  exprs(p.for_columns);
  if (!p.in_items.empty()) {
    kw("in");
    put("(");
    select_items(p.in_items);
    glue(")");
  }
  if (!p.aggregates.empty()) {
    kw("using");
    select_items(p.aggregates);
  }
  if (!p.group_by.empty()) {
    kw("group by");
    exprs(p.group_by);
  }
}

void Printer::pivot(const Pivot& p, bool unpivot) {
  table(p.source);
  kw(unpivot ? "unpivot" : "pivot");
  put(p.nulls);
  put("(");
  const bool several_values = unpivot && p.aggregates.size() > 1;
  if (several_values) put("(");
  select_items(p.aggregates);
  if (several_values) glue(")");
  kw("for");
  if (p.for_columns.size() > 1) put("(");
  exprs(p.for_columns);
  if (p.for_columns.size() > 1) glue(")");
  kw("in");
  put("(");
  if (p.in_query != nullptr) {
    query(p.in_query);
  } else if (p.in_any) {
    kw("any");
  } else {
    select_items(p.in_items);
  }
  glue(")");
  if (!p.group_by.empty()) {
    kw("group by");
    exprs(p.group_by);
  }
  glue(")");
  alias(p.alias);
}

// ---- statements ------------------------------------------------------------

void Printer::column_defs(const List<ColumnDef>& cols) {
  put("(");
  bool first = true;
  for (const ColumnDef& c : cols) {
    if (!first) comma();
    ident(c.name);
    type(c.type);
    put(c.constraints);
    first = false;
  }
  glue(")");
}

void Printer::insert(const Insert& s) {
  kw(s.verb);
  if (s.overwrite) kw("overwrite");
  if (s.into) kw("into");
  if (s.table_keyword) kw("table");
  if (!s.table_function.empty()) {
    put(s.table_function);
  } else {
    name(s.table);
  }
  alias(s.alias);
  if (!s.partition.empty()) {
    kw("partition");
    put("(");
    bool first = true;
    for (const PartitionItem& p : s.partition) {
      if (!first) comma();
      ident(p.column);
      if (p.value != nullptr) {
        put("=");
        expr(p.value);
      }
      first = false;
    }
    glue(")");
  }
  if (s.if_not_exists) kw("if not exists");
  if (!s.columns.empty()) ident_list(s.columns);
  if (s.by_name) kw("by name");
  if (s.by_position) kw("by position");
  if (s.returning != nullptr && s.returning->output) returning(s.returning);
  if (s.default_values) kw("default values");
  query(s.source);
  put(s.tail);
  if (s.returning != nullptr && !s.returning->output) returning(s.returning);
}

void Printer::create_table_as(const CreateTableAs& s) {
  kw("create");
  if (s.or_replace) kw("or replace");
  put(s.modifiers);
  kw("table");
  if (s.if_not_exists) kw("if not exists");
  name(s.table);
  if (!s.columns.empty()) column_defs(s.columns);
  put(s.options_before_as);
  kw("as");
  query(s.query);
  put(s.options_after);
}

void Printer::create_view(const CreateView& s) {
  kw("create");
  if (s.or_replace) kw("or replace");
  put(s.modifiers);
  if (s.materialized) kw("materialized");
  kw("view");
  if (s.if_not_exists) kw("if not exists");
  name(s.name);
  if (!s.columns.empty()) column_defs(s.columns);
  put(s.options_before_as);
  kw("as");
  query(s.query);
  put(s.options_after);
}

void Printer::assignments(const List<Assignment>& set) {
  bool first = true;
  for (const Assignment& a : set) {
    if (!first) comma();
    if (a.parenthesised) {
      put("(");
      bool first_column = true;
      for (const Name& n : a.columns) {
        if (!first_column) comma();
        name(n);
        first_column = false;
      }
      glue(")");
    } else if (!a.columns.empty()) {
      name(a.columns[0]);
    }
    put("=");
    expr(a.value);
    first = false;
  }
}

void Printer::merge_clause(const MergeClause& c) {
  kw("when");
  if (!c.matched) kw("not");
  kw("matched");
  kw(c.by);
  if (c.condition != nullptr) {
    kw("and");
    expr(c.condition);
  }
  kw("then");
  switch (c.action) {
    case MergeAction::kUpdate:
      kw("update set");
      if (c.star) {
        put("*");
      } else {
        assignments(c.set);
      }
      return;
    case MergeAction::kDelete:
      kw("delete");
      return;
    case MergeAction::kDoNothing:
      kw("do nothing");
      return;
    case MergeAction::kInsert:
      kw("insert");
      if (c.star) {
        put("*");
        return;
      }
      if (c.insert_row) {
        kw("row");
        return;
      }
      if (!c.columns.empty()) ident_list(c.columns);
      kw("values");
      paren_exprs(c.values);
      return;
  }
}

void Printer::merge(const Merge& s) {
  kw("merge into");
  name(s.target);
  alias(s.target_alias);
  kw("using");
  table(s.source);
  kw("on");
  expr(s.on);
  for (const MergeClause& c : s.clauses) merge_clause(c);
  if (s.returning != nullptr && s.returning->output) returning(s.returning);
  put(s.tail);
  if (s.returning != nullptr && !s.returning->output) returning(s.returning);
}

void Printer::update(const Update& s) {
  kw("update");
  table(s.target);
  kw("set");
  assignments(s.set);
  if (s.returning != nullptr && s.returning->output) returning(s.returning);
  if (!s.from.empty()) {
    kw("from");
    tables(s.from);
  }
  if (s.where != nullptr) {
    kw("where");
    expr(s.where);
  }
  put(s.tail);
  if (s.returning != nullptr && !s.returning->output) returning(s.returning);
}

void Printer::delete_statement(const Delete& s) {
  kw("delete from");
  name(s.table);
  alias(s.alias);
  if (s.returning != nullptr && s.returning->output) returning(s.returning);
  if (!s.using_tables.empty()) {
    kw("using");
    tables(s.using_tables);
  }
  if (s.where != nullptr) {
    kw("where");
    expr(s.where);
  }
  put(s.tail);
  if (s.returning != nullptr && !s.returning->output) returning(s.returning);
}

void Printer::returning(const Returning* r) {
  if (r == nullptr) return;
  kw(r->output ? "output" : "returning");
  select_items(r->items);
  if (!r->into_variable.empty() || !r->into_table.parts.empty()) {
    kw("into");
    put(r->into_variable);
    if (!r->into_table.parts.empty()) name(r->into_table);
    if (!r->into_columns.empty()) ident_list(r->into_columns);
  }
  put(r->rest);
}

// The statement's tokens hold everything, the inner statements and column
// definitions included.
void Printer::other(const Other& s) { put(s.text); }

void Printer::statement(const Statement& s) {
  Guard guard(*this);
  if (s.with != nullptr) with(*s.with);
  switch (s.kind) {
    case StatementKind::kSelect:
      query(static_cast<const SelectStatement&>(s).query);
      return;
    case StatementKind::kInsert:
      insert(static_cast<const Insert&>(s));
      return;
    case StatementKind::kCreateTableAs:
      if (is_select_into(s)) {
        query(static_cast<const SelectStatement&>(s).query);
      } else {
        create_table_as(static_cast<const CreateTableAs&>(s));
      }
      return;
    case StatementKind::kCreateView:
      create_view(static_cast<const CreateView&>(s));
      return;
    case StatementKind::kMerge:
      merge(static_cast<const Merge&>(s));
      return;
    case StatementKind::kUpdate:
      update(static_cast<const Update&>(s));
      return;
    case StatementKind::kDelete:
      delete_statement(static_cast<const Delete&>(s));
      return;
    case StatementKind::kOther:
      other(static_cast<const Other&>(s));
      return;
  }
}

}  // namespace sqlparse::syntax::printing
