// The typed syntax tree of a SQL script.
//
// One struct per construct, allocated in an Arena and owning nothing. Every
// node records its span (byte offsets into the source text). Identifiers keep
// their parts and their quoting: `"a.b"` is one part, `a.b` two.
//
// The tree is syntax only: it says how the text was written, not what names
// refer to. Clauses that never carry lineage (sampling, storage options,
// settings, locking clauses) are kept as `Raw` text: their tokens joined by
// single spaces, which the printer writes back as they are.
//
// Conventions: a null pointer or an empty list means "not written"; words are
// kept as written (their case too) except where a field says "lower case".
#pragma once

#include <cstdint>
#include <string_view>

#include "syntax/arena.h"

namespace sqlparse::syntax {

struct Span {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
};

// Normalised token text of a clause the tree does not model.
using Raw = std::string_view;

// ---- names -----------------------------------------------------------------

struct Ident {
  std::string_view text;   // as written, quotes included: "Order Id", `x`, [y], abc
  std::string_view value;  // the name itself: quotes removed, doubled quotes undone
  char quote = 0;          // 0 (unquoted), '"', '`' or '['
  Span span;
};

// A possibly qualified name: db.schema.table, t.col, col.
struct Name {
  List<Ident> parts;
  Span span;
  const Ident& last() const { return parts.back(); }
};

struct Expr;
struct Query;
struct TableRef;
struct WindowSpec;

// ---- data types ------------------------------------------------------------

struct TypeName;

// One parameter of a type: 15 in dec(15,4), a in struct<a:int>, String in
// Nullable(String).
struct TypeParam {
  Ident name;                // field name in struct<a:int> / struct(a int); empty otherwise
  TypeName* type = nullptr;  // a type, or a number / word / string kept as a type name
};

struct TypeName {
  std::string_view name;   // words joined by one space: "double precision", "varchar"
  List<TypeParam> params;  // (..) or <..>
  List<Expr*> classic_params;  // classic mode only: the parameters, which are expressions there
  bool angle = false;      // params written in <..>
  Raw suffix;              // "with time zone", "unsigned", ...
  std::uint8_t array_dims = 0;  // int[] / int[][]
  Span span;
};

// ---- expressions -----------------------------------------------------------

enum class ExprKind : std::uint8_t {
  kColumn,       // ColumnRef: a, t.a, db.t.a
  kStar,         // Star: *, t.*, * except (..)
  kLiteral,      // Literal
  kParam,        // Param: ?, :x, @x, $1, ${x}
  kKeyword,      // Keyword: a bare word in a value position (DEFAULT, a date part)
  kUnary,        // Unary
  kBinary,       // Binary
  kBetween,      // Between
  kIn,           // In
  kQuantified,   // Quantified: x = any (..)
  kSubquery,     // SubqueryExpr: (select ..)
  kExists,       // SubqueryExpr: exists (select ..)
  kArraySubquery,  // SubqueryExpr: array(select ..)
  kCase,         // Case
  kCast,         // Cast
  kFunction,     // Function
  kArray,        // ArrayExpr: [a, b], array[a, b]
  kTuple,        // TupleExpr: (a, b), row(a, b), struct(a as x), {'k': v}
  kSubscript,    // Subscript: a[0], a[1:2]
  kField,        // FieldAccess: (expr).f
  kVariantPath,  // VariantPath: v:a.b[0] (Snowflake)
  kInterval,     // Interval
  kParen,        // Paren: (expr)
  kCollate,      // Collate
  kLambda,       // Lambda: x -> x + 1
  kNamedArg,     // NamedArg: name => value
  kKeywordArg,   // KeywordArg: FROM x inside trim/substring/extract/...
  kGrouping,     // Grouping: grouping sets (..), rollup (..), cube (..)
};

struct Expr {
  ExprKind kind;
  Span span;
};

struct ColumnRef : Expr {
  Name name;
  bool outer_join_mark = false;  // Oracle's a.b (+)
};

struct Star : Expr {
  Name qualifier;          // empty for a bare *
  Raw modifier_keyword;    // "except" / "exclude" (lower case), empty when none
  List<Ident> excluded;
  List<Expr*> replaced;    // Binary "as" items: expr as name
  List<Expr*> renamed;     // Binary "as" items: old as new
  Expr* ilike = nullptr;   // * ilike 'pattern'
};

enum class LiteralKind : std::uint8_t { kNumber, kString, kBoolean, kNull, kTyped };

struct Literal : Expr {
  LiteralKind literal_kind;
  std::string_view text;       // as written: 1.5e3, 'it''s', E'\n', $$x$$, TRUE, NULL
  std::string_view type_name;  // kTyped: the type word as written (date, timestamp, json)
};

struct Param : Expr {
  std::string_view text;  // as written
};

struct Keyword : Expr {
  std::string_view text;  // words joined by one space, as written
};

struct Unary : Expr {
  std::string_view op;  // lower case: "-", "+", "not", "~", "!", "prior", "isnull", "notnull", "connect_by_root"
  Expr* operand = nullptr;
  bool postfix = false;
};

struct Binary : Expr {
  // Lower case with single spaces: "+", "and", "=", "like", "not ilike",
  // "is", "is not", "is distinct from", "similar to", "at time zone", "->>",
  // "as" (in * replace / rename lists), ":" (key-value pairs) ...
  std::string_view op;
  Expr* left = nullptr;
  Expr* right = nullptr;
  Expr* escape = nullptr;  // like ... escape 'c'
};

struct Between : Expr {
  Expr* operand = nullptr;
  Expr* low = nullptr;
  Expr* high = nullptr;
  bool negated = false;
  bool symmetric = false;
};

struct In : Expr {
  Expr* operand = nullptr;
  List<Expr*> items;       // x in (a, b); x in unnest(arr) has one item and unparenthesised
  Query* query = nullptr;  // x in (select ..)
  bool negated = false;
  bool unparenthesised = false;
};

struct Quantified : Expr {
  Expr* left = nullptr;
  std::string_view op;         // comparison, lower case ("=", "<>", "like")
  std::string_view quantifier; // "any", "all", "some" (lower case)
  Query* query = nullptr;      // = any (select ..)
  Expr* array = nullptr;       // = any (array_expr)
};

struct SubqueryExpr : Expr {
  Query* query = nullptr;
  bool negated = false;  // not exists
};

struct WhenClause {
  Expr* condition = nullptr;
  Expr* result = nullptr;
};

struct Case : Expr {
  Expr* operand = nullptr;  // case x when ..
  List<WhenClause> whens;
  Expr* else_result = nullptr;
};

struct Cast : Expr {
  std::string_view style;  // lower case: "cast", "try_cast", "safe_cast", "::", "convert"
  Expr* operand = nullptr;
  TypeName* type = nullptr;
  Expr* format = nullptr;  // cast(x as date format 'yyyy')
  Expr* style_arg = nullptr;  // convert(type, x, 120)
};

struct OrderItem {
  Expr* expr = nullptr;
  std::string_view direction;  // "asc" / "desc" / "" (lower case)
  std::string_view nulls;      // "first" / "last" / ""
  Span span;
};

struct SelectItem;

struct Function : Expr {
  Name name;
  List<Expr*> args;
  std::string_view quantifier;     // "distinct" / "all" / "" (lower case)
  List<OrderItem> arg_order_by;    // string_agg(x, ',' order by y)
  Expr* arg_limit = nullptr;       // array_agg(x limit 10)
  Expr* separator = nullptr;       // group_concat(x separator ',')
  std::string_view null_treatment; // "ignore nulls" / "respect nulls" (lower case)
  bool null_treatment_inside = false;  // written inside the parentheses
  bool no_parens = false;          // current_date
  Expr* filter = nullptr;          // filter (where ..)
  List<OrderItem> within_group;    // within group (order by ..)
  Raw keep;                        // Oracle keep (dense_rank first order by ..)
  WindowSpec* over = nullptr;      // over (..)
  Ident over_name;                 // over w
  // Classic mode only: the arguments after DISTINCT as the select items they
  // are there (an alias, a window), one per argument, and the further parts
  // of dotted aliases. Empty when no argument has an alias or a window.
  List<SelectItem> classic_distinct_items;
  List<List<Ident>> classic_arg_alias_more;
};

struct ArrayExpr : Expr {
  List<Expr*> items;
  bool keyword = false;  // array[..]
  TypeName* type = nullptr;  // array<int>[..]
  // A list comprehension [items[0] for vars in source if filter] (DuckDB).
  List<Ident> for_vars;
  Expr* for_source = nullptr;
  Expr* for_filter = nullptr;
};

struct TupleExpr : Expr {
  List<Expr*> items;      // for struct: expressions or Binary "as" items
  std::string_view keyword;  // "" for (a, b), "row", "struct", "{" for a brace struct / map literal, "map" for map {..}
  TypeName* type = nullptr;  // struct<a int>(..)
};

struct Subscript : Expr {
  Expr* base = nullptr;
  Expr* index = nullptr;   // may be null in a slice a[:2]
  Expr* upper = nullptr;   // slice end
  bool slice = false;
};

struct FieldAccess : Expr {
  Expr* base = nullptr;
  Ident field;  // empty with star: (x).*
  bool star = false;
};

struct VariantPath : Expr {
  Expr* base = nullptr;
  std::string_view path;  // after the first ':' as written, e.g. a.b[0]."c"
};

struct Interval : Expr {
  Expr* value = nullptr;  // interval '1' day; null for interval in a type position
  std::string_view unit;  // words joined by one space: "day", "year to month", "" when none
};

struct Paren : Expr {
  Expr* inner = nullptr;
};

struct Collate : Expr {
  Expr* operand = nullptr;
  std::string_view collation;  // as written
};

struct Lambda : Expr {
  List<Ident> params;
  bool parenthesised = false;
  Expr* body = nullptr;
};

struct NamedArg : Expr {
  Ident name;
  std::string_view op;  // "=>", ":=" or "="
  Expr* value = nullptr;
};

struct KeywordArg : Expr {
  std::string_view keyword;  // words joined by one space, as written: FROM, FOR, AS, IN, BOTH
  Expr* value = nullptr;     // never null
};

struct Grouping : Expr {
  std::string_view form;  // "grouping sets", "rollup", "cube" (lower case)
  List<Expr*> items;
};

// ---- windows ---------------------------------------------------------------

struct WindowFrame {
  std::string_view units;  // "rows" / "range" / "groups" (lower case)
  Expr* start_value = nullptr;
  std::string_view start;  // "unbounded preceding", "current row", "preceding", "following"
  Expr* end_value = nullptr;
  std::string_view end;    // "" when no BETWEEN
  Raw exclude;             // exclude current row, ...
};

struct WindowSpec {
  Ident base;  // over (w order by ..)
  List<Expr*> partition_by;
  List<OrderItem> order_by;
  WindowFrame* frame = nullptr;
  Span span;
};

struct NamedWindow {
  Ident name;
  WindowSpec* spec = nullptr;
};

// ---- queries ---------------------------------------------------------------

struct SelectItem {
  Expr* expr = nullptr;
  Ident alias;            // empty when none
  bool as_keyword = false;
  List<Ident> aliases;    // explode(m) as (k, v)
  // Classic mode only: WITHIN GROUP / OVER after a value that is not a call
  // (a + b over (..)), held by a nameless call node.
  Function* value_window = nullptr;
  Span span;
};

struct Statement;

struct Cte {
  Ident name;
  List<Ident> name_more;  // classic mode only: the further parts of a dotted name (with a.b as ..)
  List<Ident> columns;
  Raw materialized;       // "materialized" / "not materialized"
  Query* query = nullptr;
  Statement* dml = nullptr;  // Postgres: with x as (delete .. returning ..); query is null then
  Expr* expr = nullptr;   // ClickHouse: with <expr> as name (query is null then)
  Span span;
};

struct With {
  bool recursive = false;
  List<Cte> ctes;
  Span span;
};

enum class BodyKind : std::uint8_t { kSelect, kSetOp, kParen, kValues, kTable, kPivot };

struct QueryBody {
  BodyKind kind;
  Span span;
};

struct Alias {
  Ident name;
  List<Ident> columns;
  bool as_keyword = false;
  List<Ident> name_more;  // classic mode only: the further parts of a dotted alias (as b.c)
  // Classic mode only: per column, the further parts of a dotted column name
  // (t w (a.b)); empty when no column is dotted.
  List<List<Ident>> columns_more;
};

struct ScriptTransform;

struct Select : QueryBody {
  bool from_first = false;         // FROM t SELECT .. (DuckDB)
  std::string_view distinct;       // "distinct" / "all" / "distinctrow" (lower case) / ""
  List<Expr*> distinct_on;
  Expr* top = nullptr;
  bool top_percent = false;
  bool top_with_ties = false;
  List<SelectItem> items;          // empty for FROM-first without SELECT
  ScriptTransform* transform = nullptr;  // select transform (..) using '..' (items empty)
  Name into;                       // T-SQL select .. into t
  Raw into_modifier;               // "temporary", "temp", "unlogged"
  List<TableRef*> from;
  Expr* prewhere = nullptr;
  Expr* where = nullptr;
  Raw connect_by;                  // Oracle start with .. connect by ..
  Expr* connect_by_condition = nullptr;
  Expr* start_with = nullptr;
  bool group_by_all = false;
  std::string_view group_by_quantifier;  // "distinct" / "all" before the list
  List<Expr*> group_by;
  // Classic mode only, empty otherwise: per item, the further parts of a
  // dotted alias (as b.c); per GROUP BY item, its alias (group by a as g).
  List<List<Ident>> item_alias_more;
  List<Name> group_by_aliases;
  Raw group_by_modifier;           // with rollup / with cube / with totals
  Expr* having = nullptr;
  List<NamedWindow> windows;
  Expr* qualify = nullptr;
  List<Expr*> cluster_by;
  List<Expr*> distribute_by;
  List<OrderItem> sort_by;
  Raw sample;                      // DuckDB: using sample ..
};

struct SetOp : QueryBody {
  std::string_view op;          // "union", "intersect", "except", "minus" (lower case)
  std::string_view quantifier;  // "all", "distinct", ""
  Raw by_name;                  // "by name", "corresponding", "corresponding by (..)"
  Raw modifier;                 // DuckDB/BigQuery: "all by name", "left outer", ...
  QueryBody* left = nullptr;
  QueryBody* right = nullptr;
};

struct ParenQuery : QueryBody {
  Query* query = nullptr;
};

struct Values : QueryBody {
  List<Expr*> rows;   // each a TupleExpr or a single expression
  bool row_keyword = false;  // values row(1, 2) (MySQL)
};

struct TableBody : QueryBody {  // TABLE t
  Name name;
};

struct Fetch {
  std::string_view first;  // "first" / "next"
  Expr* count = nullptr;
  bool percent = false;
  std::string_view rows;   // "row" / "rows"
  bool with_ties = false;
};

// A pipe operator |> op ... (BigQuery / Databricks pipe syntax).
struct Join;
struct Assignment;

struct PipeOp {
  std::string_view op;    // lower case: "select", "where", "aggregate", "join", "union", ...
  List<SelectItem> items; // the operator's expressions (with aliases)
  List<Expr*> group_by;   // aggregate .. group by ..
  Join* join = nullptr;   // |> [left] join t on ..: the input is its left side (left is null)
  std::string_view quantifier;  // union / intersect / except: "all" / "distinct"
  bool by_name = false;   // union all by name (..)
  List<Query*> queries;   // union / intersect / except: the other inputs
  List<Assignment> set;   // |> set a = ..
  Raw rest;               // anything else, kept as written
  Span span;
};

struct Query {
  With* with = nullptr;
  QueryBody* body = nullptr;
  List<OrderItem> order_by;
  Expr* limit = nullptr;
  Expr* offset = nullptr;
  bool offset_rows = false;      // offset 10 rows
  bool limit_comma = false;      // MySQL limit 10, 20 (offset first)
  bool offset_before_limit = false;
  List<Expr*> limit_by;          // ClickHouse limit n by cols
  Fetch* fetch = nullptr;
  List<PipeOp> pipes;
  Raw trailing;                  // for update, settings .., format .., for xml ..
  Span span;
};

// ---- FROM ------------------------------------------------------------------

enum class TableKind : std::uint8_t {
  kNamed, kDerived, kFunction, kJoin, kParen, kPivot, kUnpivot, kLateralView, kValues, kStatement
};

struct TableRef {
  TableKind kind;
  Span span;
  Alias* alias = nullptr;
  Raw match_recognize;  // Snowflake / Oracle match_recognize (..) after the reference
};

struct TimeTravel {
  std::string_view form;  // lower-cased keywords: "for system_time as of", "at", "before", "version as of", "timestamp as of"
  Expr* value = nullptr;
  std::string_view kind;  // Snowflake at(timestamp => ..): the argument name
};

struct NamedTable : TableRef {
  Name name;
  bool only = false;          // only t (Postgres)
  bool unpivot = false;       // Redshift PartiQL: unpivot t.obj as v at k (an object's pairs)
  bool final = false;         // ClickHouse
  TimeTravel* time_travel = nullptr;
  Raw sample;                 // tablesample .. / sample ..
  Raw hints;                  // with (nolock), use index (..), @{..}
  Raw partition;              // partition (p1) (MySQL)
  List<Expr*> args;           // a parameterised view / table call without TABLE(): t(1, 2)
};

struct DerivedTable : TableRef {
  Query* query = nullptr;
  bool lateral = false;
};

struct TableFunction : TableRef {
  Expr* call = nullptr;       // Function (unnest, flatten, explode, read_parquet ..)
  bool lateral = false;
  bool with_ordinality = false;
  Alias* offset_alias = nullptr;  // BigQuery with offset [as] o
  bool with_offset = false;
  Raw with_schema;                // T-SQL openjson(..) with (col type, ..)
};

struct Join : TableRef {
  // Lower case, single spaces: "join", "inner join", "left join", "left outer join",
  // "cross join", "natural join", "asof left join", "left semi join", "cross apply",
  // "array join", "straight_join", "global any left join" ...
  std::string_view type;
  TableRef* left = nullptr;
  TableRef* right = nullptr;
  Expr* on = nullptr;
  List<Ident> using_columns;
  // Classic mode only: per USING column, the further parts of a dotted name
  // (using (a.b)); empty when no column is dotted.
  List<List<Ident>> classic_using_more;
  Alias* using_alias = nullptr;
  Expr* match_condition = nullptr;  // Snowflake asof join .. match_condition (..)
};

struct ParenTable : TableRef {
  TableRef* inner = nullptr;
};

struct Pivot : TableRef {
  TableRef* source = nullptr;
  List<SelectItem> aggregates;  // pivot: sum(x) [as a]; unpivot: the value column(s) as Column items
  List<Expr*> for_columns;      // pivot: for a in (..), for lower(a) in (..); unpivot: for name_col in (..)
  List<SelectItem> in_items;    // the IN list (values or columns, with aliases)
  Query* in_query = nullptr;    // in (select ..)
  bool in_any = false;          // in (any [order by ..])
  Raw nulls;                    // unpivot include nulls / exclude nulls
  List<Expr*> group_by;         // DuckDB pivot .. group by
  // DuckDB's statement form: pivot t on k [in (..)] using sum(v) [group by ..],
  // unpivot t on a, b [into name k value v]. ON gives for_columns (pivot) or
  // in_items (unpivot); an IN list belongs to the last ON column.
  bool statement_form = false;
};

struct PivotBody : QueryBody {  // the statement form as a query of its own
  Pivot* pivot = nullptr;
};

struct LateralView : TableRef {
  TableRef* source = nullptr;   // the table the view is applied to
  bool outer = false;
  Expr* generator = nullptr;    // explode(..), posexplode(..), json_tuple(..)
  Ident table_alias;
  List<Ident> column_aliases;
};

// T-SQL: from (delete t output deleted.a) as x: the rows a data-modifying
// statement outputs.
struct StatementTable : TableRef {
  Statement* statement = nullptr;
};

struct ValuesTable : TableRef {
  Values* values = nullptr;
};

// ---- statements ------------------------------------------------------------

enum class StatementKind : std::uint8_t {
  kSelect, kInsert, kCreateTableAs, kCreateView, kMerge, kUpdate, kDelete, kOther
};

struct Statement {
  StatementKind kind;
  Span span;
  With* with = nullptr;  // with .. insert / update / merge / delete (T-SQL, Spark, Postgres)
  // A SelectStatement of kind kCreateTableAs: T-SQL's select .. into t
  // (every other kCreateTableAs is a CreateTableAs).
  bool select_into = false;
};

struct SelectStatement : Statement {  // kSelect, or kCreateTableAs for select .. into
  Query* query = nullptr;
};

struct PartitionItem {
  Ident column;
  Expr* value = nullptr;  // null for a dynamic partition column
};

struct ColumnDef {
  Ident name;
  TypeName* type = nullptr;
  Raw constraints;  // not null, comment '..', default .., ...
};

// RETURNING items of INSERT, UPDATE, DELETE or MERGE, or T-SQL's OUTPUT
// (inserted.a, deleted.b): the columns a data-modifying CTE or derived table
// gives.
struct Returning {
  bool output = false;       // T-SQL OUTPUT, written where T-SQL puts it
  List<SelectItem> items;
  Raw into_variable;         // output .. into @t
  Name into_table;           // output .. into t: a table written
  List<Ident> into_columns;
  Raw rest;                  // what follows RETURNING's items: into :v (Oracle), ...
  Span span;
};

// Hive / Spark: select transform (a, b) [row format ..] using 'script'
// [as (x string, y int) | as x, y] [row format ..]: rows piped through a
// program, each output column made of every argument.
struct ScriptTransform {
  List<Expr*> args;
  Raw before_using;             // row format .. / recordwriter ..
  Raw script;                   // the command, a string literal as written
  bool as_parenthesised = false;
  List<ColumnDef> columns;      // none: the program gives key and value
  Raw after;                    // row format .. / recordreader ..
  Span span;
};

struct Insert : Statement {
  std::string_view verb;     // lower case: "insert", "replace", "upsert", "insert ignore"
  bool overwrite = false;
  bool into = false;
  bool table_keyword = false;
  Name table;
  Alias* alias = nullptr;
  Raw table_function;        // insert into function s3(..) / insert into table function ..
  List<PartitionItem> partition;
  bool if_not_exists = false;
  List<Ident> columns;
  bool by_name = false;      // insert .. by name
  bool by_position = false;
  Query* source = nullptr;   // a query or values; null with default values
  bool default_values = false;
  Raw tail;                  // on conflict .., on duplicate key update ..
  Returning* returning = nullptr;
};

struct CreateTableAs : Statement {
  bool or_replace = false;
  Raw modifiers;             // temporary / transient / external / ...
  bool if_not_exists = false;
  Name table;
  List<ColumnDef> columns;
  Raw options_before_as;     // partitioned by, stored as, with (..), engine = ..
  Query* query = nullptr;
  Raw options_after;         // with data, with no data, ...
};

struct CreateView : Statement {
  bool or_replace = false;
  bool materialized = false;
  Raw modifiers;
  bool if_not_exists = false;
  Name name;
  List<ColumnDef> columns;
  Raw options_before_as;
  Query* query = nullptr;
  Raw options_after;         // with check option, ...
};

struct Assignment {
  List<Name> columns;        // one column, or several in (a, b) = (..)
  bool parenthesised = false;
  Expr* value = nullptr;
  Span span;
};

enum class MergeAction : std::uint8_t { kUpdate, kInsert, kDelete, kDoNothing };

struct MergeClause {
  bool matched = false;
  std::string_view by;       // "by target" / "by source" / ""
  Expr* condition = nullptr;
  MergeAction action = MergeAction::kUpdate;
  List<Assignment> set;      // kUpdate
  List<Ident> columns;       // kInsert
  List<Expr*> values;        // kInsert
  bool insert_row = false;   // insert row / insert * (Databricks)
  bool star = false;         // update set * / insert *
  Span span;
};

struct Merge : Statement {
  Name target;
  Alias* target_alias = nullptr;
  TableRef* source = nullptr;
  Expr* on = nullptr;
  List<MergeClause> clauses;
  Raw tail;
  Returning* returning = nullptr;
};

struct Update : Statement {
  TableRef* target = nullptr;   // a named table, possibly joined (MySQL)
  List<Assignment> set;
  List<TableRef*> from;
  Expr* where = nullptr;
  Raw tail;                     // order by .., limit ..
  Returning* returning = nullptr;
};

struct Delete : Statement {
  Name table;
  Alias* alias = nullptr;
  List<TableRef*> using_tables;  // using .. / a second from ..
  Expr* where = nullptr;
  Raw tail;
  Returning* returning = nullptr;
};

struct Other : Statement {
  std::string_view head;          // lower-cased leading keywords: "create table", "grant", "set"
  Raw text;                       // the whole statement's tokens
  List<Statement*> body;          // data-moving statements inside a procedure or block
  List<ColumnDef> columns;        // create table t (cols) without a query
  Name table;                     // the table of create table t (cols)
};

}  // namespace sqlparse::syntax
