"""The classic tree rendered from the typed syntax tree (_render_classic).

Each text of MATCHES must render to exactly the tree the classic parser
builds for it (key order and types included): the renderer reproduces the
classic shapes (collapsed lists, dropped nulls, literal merging, flattened
chains, the classic precedence, key order of joins and set operations).
Each text of REFUSED is rejected by the classic parser and accepted by the
statement grammar; the renderer must refuse it with the reason given, which
names the construct a classic mode of the statement grammar has to reject.
"""

import json
import sys
from pathlib import Path

import pytest

from parser_helpers import same
from sql_parser import ParseError, parse

import _sqlparse_core

# The dialect whose quoting matches the classic grammar best ([x] is a name).
DIALECT = "sqlite"

MATCHES = [
 "select a from t",
 "select a, b as x, c y from t",
 "select * from t",
 "select a, *, t.* from t",
 "select distinct a as x, b from t",
 "select count(distinct a, b) from t",
 "select top 10 percent with ties a from t order by a",
 "select top (5) * from t",
 "select null from t",
 "select a, null as n from t",
 "select 'it''s', 1, 2.5, -3, +6, 1e3, .5, 0x1F from t",
 "select 9223372036854775808 from t",
 "select 'a\\nb', '\\x41' from t",
 "select 2x from t",
 "select true, false from t",
 "select date '2020-01-01', interval 3 day, interval '1w, 1h' from t",
 "select a + b + c, (a + b) + c, a - b - c, a + b * c from t",
 "select a || b || c from t",
 "select 'a' || 'b' from t",
 "select -a * b, -1 * a, - 1, 3 - -2, 2 * -3, a / -b from t",
 "select ~a + 1 from t",
 "select a = b < c from t",
 "select a = 1 = b from t",
 "select a || b * c, a * b || c from t",
 "select a like 0 not between b and c, not b between a and d >= a from t",
 "select 1 like -0 between d and a / 2, f(0 not between b and c >= a) from t",
 "select +6 collate nocase, -2x * 3, 1.5e2y from t",
 "select ((select a from u)), d in ((select a from u)) from t",
 "select a from t where name not like any ('%an%', '%an')",
 "select a in (select b from u) = true, a not in (1, 2) = b from t",
 "select a from t where a = 1 and (b = 2 or c = 3) and d = 4",
 "select a from t where not a = 1 and b = 2",
 "select a from t where a is null or b is not null or c = null or null <> d",
 "select a from t where a > null",
 "select a from t where a in (1, 2) and b in ('x', 'y') and c in ('x', 1) and d in (e, 'f')",
 "select a from t where a in (null) and b not in (select c from u)",
 "select a from t where (a, b) in (('x', 'y'), ('z', 'w'))",
 "select a from t where a between 1 and 10 and b not between 'a' and 'b'",
 "select a from t where 'x' between 'a' and 'b'",
 "select a from t where a like 'x%' and b not like 'y' and c rlike 'z'",
 "select a from t where a similar to 'x'",
 "select a from t where a is true",
 "select a from t where exists (select 1 from u) and not exists (select 2)",
 "select a from t where a = any (select b from u)",
 "select f(), f(a), f(a, b), f(null), f(a, null), f('a', 'b'), db.F(x), \"MyFunc\"(a) from t",
 "select count(*), Count(A) from t",
 "select f(select max(a) from u), f((select max(a) from u)) from t",
 "select extract(year from d) from t",
 "select first_value(a ignore nulls) over (order by b) from t",
 "select case when a = 1 then 'x' end, case a when 1 then 'x' when 2 then 'y' else 'z' end from t",
 "select case when a then null else 1 end, case when a = 1 then b else null end from t",
 "select cast(a as int), cast(a as varchar(10)), cast(a as decimal(10, 2)), CAST(a AS Double Precision), a::date from t",
 "select cast(null as int) from t",
 "select a collate nocase from t",
 "select row_number() over (partition by a order by b desc) as rn from t",
 "select sum(x) over (partition by a, b) from t",
 "select sum(x) over () from t",
 "select sum(x) over (order by b rows between 1 preceding and 1 following) from t",
 "select sum(x) over (order by b range between unbounded preceding and current row) from t",
 "select listagg(x) within group (order by x) over (partition by y) as z from t",
 "select (a, b), (1, 2), ('a', 'b') from t",
 "select \"x y\", `a``b`, [x y], \"my.col\", \"a\"\"b\" from t",
 "select @a, $1, a_b$c, 名前 from 表",
 "select a from db.sch.t x",
 "select a from (select b from u) as s, (select c from v)",
 "select a from generate_series(1, 3) g",
 "select a from t as x (c1, c2)",
 "select a from t1 x join t2 y on x.id = y.id left outer join t3 using (id, k) cross join t4",
 "select a from t1 natural join t2",
 "select a from t1 join (select id from u) s on t1.id = s.id",
 "select * from t1 join generate_series(1, 3) g on true",
 "select a from t1, t2 join t3 on t2.k = t3.k",
 "select a from t1 join t2 join t3 on x",
 "select * from values (1, 2) as t(a, b)",
 "select a from t group by a, b having count(*) > 1",
 "select a from t group by rollup(a, b)",
 "select a from t order by a desc, f(b) asc limit 10 offset 5",
 "select a from t offset 5",
 "select a from t union select a from u",
 "select a from t union all select a from u union all select a from v",
 "select a from t union select a from u union all select a from v",
 "select a from t union all select a from u order by a desc limit 10 offset 2",
 "select a from t intersect select a from u intersect select a from v",
 "select a from t union select a from u intersect select a from v",
 "select a from t except select a from u",
 "select a from t intersect select a from u order by a limit 1",
 "select interval '1w, 2h' d, 1 + interval '3 day' e from t",
 "select a from t minus select a from u",
 "with x as (select a from t), y as (select b from u) select a from x, y",
 "with a as (select 1 x) select * from a union all select * from a order by x",
 "with x as (with y as (select 1 a) select a from y) select a from x",
 "select * from (select a from t union select a from u) x",
 "select a from t where b in (select c from u union select d from v)",
 "SELECT @XML.value('.', 'n') Col1",
 "select @@global.time_zone",
 "select array(select a from t)",
 "select struct(a, b), row(1, 2) from t",
 "select '{}' is json from t",
 "select a from t;",
]

REFUSED = [
    ("select - - a from t", "prefix operator in an operand position"),
    ("select not not a from t", "prefix operator in an operand position"),
    ("select 1 + ~a from t", "prefix operator in an operand position"),
    ("select left(a, 2) from t", "reserved word as a name"),
    ("select a from t as left", "reserved word as a name"),
    ("select a as 'b' from t", "name in other quotes"),
    ("select 'a' 'b' from t", "adjacent string literals"),
    ("select a from t where a > all (select b from u)", "all (..) comparison"),
    ("select a from t where a ilike 'x'", "operator ilike"),
    ("select a from t1 left semi join t2 on t1.a = t2.a", "join type left semi join"),
    ("select a from t limit 5, 10", "limit n, m"),
    ("select a from t order by a nulls first", "nulls first / last"),
    ("with recursive x as (select 1) select * from x", "with recursive"),
    ("with x (c1, c2) as (select a, b from t) select * from x", "CTE column list"),
    ("select * from (with x as (select 1 a) select a from x) z", "WITH inside a sub-query"),
    ("(select a from t) union (select a from u)", "parenthesised query"),
    ("select sum(x) over (partition by a) + 1 from t", "window call inside an expression"),
    ("select sum(x) over w from t window w as (partition by a)", "window clause"),
    ("select cast(a as mytype) from t", "type name the classic grammar lacks"),
    ("select interval '3' day from t", "interval text the classic grammar lacks"),
    ("select a from t where b < interval '3' day", "interval 'n' unit"),
    ("select N'abc' from t", "string literal with a prefix or other quotes"),
    ("select a[1] from t", "subscript"),
    ("insert into t values (1)", "statement other than SELECT"),
    ("select a from t for update", "trailing clause (for update, settings, ...)"),
    ("select a from t fetch first 10 rows only", "fetch first"),
    ("select * except (a) from t", "star modifiers (except, replace, ...)"),
    ("select sum(a) filter (where b > 1) from t", "filter (where ..)"),
    ("select a from t where b like 'x' escape '!'", "like .. escape"),
]


@pytest.mark.parametrize("sql", MATCHES)
def test_renders_the_classic_tree(sql):
    rendered = _sqlparse_core._render_classic(sql, DIALECT)
    assert same(rendered, parse(sql)), (rendered, parse(sql))


@pytest.mark.parametrize("sql,reason", REFUSED)
def test_refuses_what_the_classic_grammar_lacks(sql, reason):
    with pytest.raises(ParseError):
        parse(sql)
    with pytest.raises(ValueError) as info:
        _sqlparse_core._render_classic(sql, DIALECT)
    assert str(info.value) == reason


def test_text_the_statement_grammar_rejects_raises_its_parse_error():
    with pytest.raises(ParseError):
        _sqlparse_core._render_classic("select from from", DIALECT)


DEEP = [
    "select " + "(" * 900 + "a" + ")" * 900 + " from t",
    "select a from t where " + " and ".join(f"c{i} = {i}" for i in range(5000)),
]


def nested_from(levels):
    q = "select a from t"
    for _ in range(levels - 1):
        q = f"select a from ({q}) x"
    return q


@pytest.mark.parametrize("sql", DEEP + [nested_from(1000)], ids=["parens-900", "and-5000", "from-1000"])
def test_deep_nesting_renders_as_the_classic_parser_reads_it(sql):
    # Python's own comparison of two 1,000-level trees needs the deeper limit.
    old = sys.getrecursionlimit()
    sys.setrecursionlimit(max(old, 20000))
    try:
        assert same(_sqlparse_core._render_classic(sql, DIALECT), parse(sql))
    finally:
        sys.setrecursionlimit(old)


# ---- parse(): the classic mode of the statement grammar -----------------------
#
# parse() reads the text in the statement grammar's classic mode and renders
# the classic tree. It must accept what the classic grammar it replaced
# accepts (with the same tree) and refuse what that grammar refuses, where the
# construct starts, with its error. That grammar is built into developer
# builds only, as the reference (_classic_reference_parse); its answers to
# the texts below are recorded in data/classic_answers.jsonl, so that every
# build checks them (`python tests/test_classic_render.py --record` writes
# them again from a developer build).

reference_parse = getattr(_sqlparse_core, "_classic_reference_parse", None)
needs_reference = pytest.mark.skipif(
    reference_parse is None,
    reason="needs the classic reference grammar (a build with -DSQLPARSE_CLASSIC_REFERENCE=ON)")
ANSWERS = Path(__file__).parent / "data" / "classic_answers.jsonl"


def classic_mode(sql):
    return _sqlparse_core._render_classic(sql, classic_mode=True)


def _outcome(fn, sql):
    try:
        return "tree", fn(sql)
    except Exception as e:  # the kind and the whole message must agree
        return type(e).__name__, str(e)


def _agree(ours, theirs):
    if ours[0] != theirs[0]:
        return False
    return same(ours[1], theirs[1]) if ours[0] == "tree" else ours[1] == theirs[1]


def _recorded():
    answers = {}
    if not ANSWERS.exists():  # while recording them
        return answers
    with open(ANSWERS, encoding="utf-8") as f:
        for line in f:
            row = json.loads(line)
            answers[row["sql"]] = ("tree", row["tree"]) if "tree" in row else ("ParseError", row["error"])
    return answers


ANSWERED = _recorded()


CLASSIC_MODE_MATCHES = MATCHES + [
    "select a from t where a like any (b, c) or a not like some (select b from u)",
    "select a from t where a is b",
    "select a from t where a is not b",
    "select a from t where a between b >= c and d",
    "select a collate nocase::int, a in (1, 2)::int from t",
    "select interval '1w, 2h' y, interval 3 day::date from t",
    "select a from t for",
    "select a from t qualify",
    "select sum(a) filter from t",
    "select a from t1 anti join t2",
    "select f(a ignore nulls) from t",
    "select a - -b, a * -b, a || -b, not -a, ~-a, a and not b, not ~a from t",
    "select @XML.value('.', 'n') Col1, foo@bar from t",
    "select U&'x' from t",
    "select a from t order by a limit 1 offset 2",
    "select $$abc$$, a @, b @@ from t",
    "select 1.0_000, 1.x, 30_days, 1e3x, 0x1Fg, 2x, 1._a from t",
    "select .5bd, -.5e+2bd, 1 + .5x * 2, 0x1Fas, 0x1Fs + 1, -0x1Fd from t where a in (0x1Fy)",
    "select a as b.c, d e.\"f.g\" from t as x.y join u v.w on true group by a as g, b h.i, c",
    "select 'a\\nb', \"x\"\"y\", [a b] from t",
    # a backslash does not protect a quote from ending the string: \' then ''
    "select 1 -- c\n;  ;\n",  # a comment before the trailing ; is fine
    "select 'a\\''' fr, 'b\\''''' c, '\\''x' from t",
    # a window or WITHIN GROUP after a value that is not a call
    "select sum * (x) over () from t",
    "select l-ag(a, 1) over (partition by b order by c), (x) over (partition by a) y from t",
    "select a + b within group (order by b) over (partition by c) x from t",
    "select distinct d over () from t",
    "select -(a) over () as c, cast(a as int) over () from t",
    # a number written against a name, a call, a dotted name or a star
    "select 8601_date(1), 2x(1)::int, -2x(1), 1 + 2x(1) * 3, 2x.y.z, 2x . y(1), count(2x.*) from t",
    "select 1.5e3x(a), 0x1Fg(1), .5x.y, 2e1x(1), 2x(distinct a), 2x(*), 2x() over () from t",
    "select a from t where 2x(1) > 2x.\"y\" group by 2x.y order by 2x(1)",
    "select 5s(1), 1.5bd.x, 5s.*, .5f, 2.0f from t limit 5s",
    # "@" and "$" inside names, next to operators and digits
    "select x@1e5, a@1, ~@a, -@x, ~$1, a@>b, a@>=-b, @, @@, $ from t",
    "select 8@8, 8@x.y, 1.5@a, 8$1, 8@, 1e3@a(1) from t",
    "select @0. o0, @0.x.y from t",
    # a name's digits end before an exponent's sign: @4e-3 is @4e minus 3
    "select -@4e-3, @4e-3.5, a@4e-3e2x, @1e-1e-1e-1, @1e-0x1F, @1e-1_0.x, @1e+1e+1e+1x.y from t",
    "select 6_1e-1, 6_1e+1 x, 6_1e-1x, 6_1e-1e2, @1e-1e-1e-1e-1e-1.5e3 from t",
    "select timetz '10:00' x, TIMETZ'', timestamptz 'a', datetime 'b' from t",  # every classic date/time word
    "select 0[x], 1.5[y], 'a'[z], 'a' || 0[w] from t",  # [x] against a number or string is an alias
    "select r.select(*), count(r.from(*)) from t join r.select(*)",  # a reserved last part of a call's name
    "select a from t join u using (a.b, \"c\".[d].from) join v using (e)",  # dotted USING columns
    # a number against a name with dotted parts (one word of the statement lexer)
    "select 1_0.x.y.z, 1_0.e5, 1_0._a, 1_0.x(1), 1_0.[x], 1_0.\"x\", 1_0.*, 1_0.from, 2x.select from t",
    # type parameters are expressions
    "select cast(a as varchar(1exists0)), cast(a as varchar(max)), a::varchar(-1), a::char(f(1), 'x') from t",
    # the arguments after DISTINCT are select items
    "select count(distinct a,haring b), count(distinct a as x.y, b c), count(distinct *, t.*), "
    "f(distinct a x ignore nulls) from t",
    # ... with their windows, as in the select list
    "select c(distinct f(b) over (partition by a) x, *, g(1) within group (order by c) as y.z), "
    "c(distinct a + b over () q), c(distinct b over ()) from t",
    "select extract(), extract(a, b), extract(year) from t",
    "select extract(select a, b from t), extract(distinct a), extract(*), extract(from from x), "
    "extract(year from x ignore nulls) from t",
    "select a = any (1, 2), a > some (select b from u), count(distinct null) from t",
    "select a %s, b %(x)s from t",  # bind-parameter forms are "%" and names to the classic lexer
    # a dotted CTE name
    "with a.b as (select 1), c . d as (select 2), e.select as (select 3) select * from a.b",
    # dotted column names in a table alias's column list
    "select a from t w (tru, e.P), u as v.x (a.b.c, \"d\".[e]), (select 1) y (a.from)",
]


@pytest.mark.parametrize("sql", CLASSIC_MODE_MATCHES)
def test_classic_mode_renders_the_classic_tree(sql):
    kind, tree = ANSWERED[sql]
    assert kind == "tree"
    assert same(parse(sql), tree), (parse(sql), tree)
    assert same(classic_mode(sql), tree)


# One text per construct the classic grammar lacks: the classic mode refuses
# it with exactly the classic parser's error.
CLASSIC_MODE_REFUSED = [
    ("insert into t values (1)", "statement other than SELECT"),
    ("with x as (select 1) insert into t select * from x", "WITH before another statement"),
    ("values (1)", "VALUES query"),
    ("select a from t where a between d < > c and e", "< > written apart in a BETWEEN bound"),
    ("select a from t where a between 1 and d > = c", "> = written apart in a BETWEEN bound"),
    ("select a from t where a like any (b", "LIKE ANY (..) unclosed: the error of a call"),
    ("select current_date .<> 1", "a dot after current_date, a plain name to the classic grammar"),
    ("select top (3) percent (*)", "(*) after TOP's PERCENT: no call's star"),
    ("select top 3 with ties (*) from t", "(*) after TOP's WITH TIES: no call's star"),
    ("select cast(a as varchar(*))", "(*) as a type's parameters: no call's star"),
    ("from t select a", "FROM-first query"),
    ("(select a from t) union (select a from u)", "parenthesised query"),
    ("select 1; select 2", "more than one statement"),
    ("select 1;-- c", "a comment after the last ;"),
    ("select 1; -- c\n;", "a comment between trailing ;"),
    ("select 1;\xa0", "a space the classic lexer does not trim after ;"),
    ("select a from t where a ilike 'x'", "word operator"),
    ("select a from t where a regexp 'x'", "word operator"),
    ("select a from t where a is distinct from b", "is distinct from"),
    ("select a from t where a > all (select b from u)", "all (..) comparison"),
    ("select a from t where a < = b", "operator written in two pieces"),
    ("select a -> 'b' from t", "operator the classic lexer splits"),
    ("select 1 from 2x.y", "number written against a name in FROM"),
    ("select a 2x from t", "number written against a name after an operand"),
    ("select 'x'::timestamp with time )zone", "partial with time zone"),
    ("with a. as (select 1) select 1", "dotted CTE name taking a keyword"),
    ("6select a.b.c 5x1F t", "number written against a keyword"),
    ("select top 5s a", "number written against a name after TOP"),
    ("select interval 5s", "number written against a name as an interval"),
    ("select a from\u060b\u07c8here a and b", "a character no classic name holds"),
    ("select a fr@>r=o mdoer by a", "@ of an operator ends a name"),
    ("select ~@1, 'x')from t", "@ of an operator starts a name"),
    ("select x@1.5", "digits of a number end a name"),
    ("select 9@99.9ect", "digits of a word end a name"),
    ("select count(distinct a, (*))", "star in parentheses"),
    ("select f(a, select 1)", "bare query after a call's first argument"),
    ("select f(select b from t where not x, 2)", "more arguments after a bare query"),
    ("select a from t where x between 1..5", "the first dot of .. ends a number"),
    ("select 8.5..2", "a number with a fraction before .."),
    ("select ${x}", "${x} is a name, then {"),
    ("select a from t where a in ()", "an empty IN list"),
    ("select sum(a) over (rows 1 + 2 preceding) from t", "a frame bound that is not one number"),
    ("with r.[(sm ex", "an unclosed quoted part of a dotted CTE name"),
    ("with lefts.*s ts)", "no name after the dot of a CTE name"),
    ("select 2x\u060by from t", "a character no classic name holds after 2x"),
    ("select 66666666\u02d2 t", "a character no classic name holds after a number"),
    ("select a from @@t@@\u00bf@@", "a character no classic name holds after @"),
    ("select 1 = 1 or 2 = 9999E9999999", "an integer of more than 4300 digits"),
    ("select a from t limit " + "9" * 4301, "an integer of more than 4300 digits"),
    ("select f(distinct select 1)", "bare query after DISTINCT"),
    ("select f(distinct a ignore nulls) x", "ignore taken as the alias after DISTINCT"),
    ("select a ~~ b from t", "operator the classic lexer splits"),
    ("select a from t where b like 'x' escape '!'", "like .. escape"),
    ("select - - a from t", "prefix operator in an operand position"),
    ("select not not a from t", "prefix operator in an operand position"),
    ("select 1 + ~a from t", "prefix operator in an operand position"),
    ("select a = not b from t", "prefix operator in an operand position"),
    ("select +a from t", "unary plus"),
    ("select - ~a from t", "prefix operator in an operand position"),
    ("select left(a, 2) from t", "reserved word as a call name"),
    ("select a from t as left", "reserved word as an alias"),
    ("select a as 'b' from t", "string as an alias"),
    ("select 'a' 'b' from t", "adjacent string literals"),
    ("select N'abc' from t", "string prefix"),
    ("select a from t where x = ?", "parameter"),
    ("select :x from t", "parameter"),
    ("select /* c */ a from t", "block comment"),
    ("select 'a\\'b' from t", "bad escape"),
    ("select a[1] from t", "subscript"),
    ("select (x).f from t", "field access"),
    ("select (x).upper() from t", "method call"),
    ("select a from t limit 5, 10", "limit n, m"),
    ("select a from t order by a nulls first", "nulls first / last"),
    ("with recursive x as (select 1) select * from x", "with recursive"),
    ("with x (c1, c2) as (select a, b from t) select * from x", "CTE column list"),
    ("select * from (with x as (select 1 a) select a from x) z", "WITH inside a sub-query"),
    ("select sum(x) over (partition by a) + 1 from t", "window call inside an expression"),
    ("select sum(x) over w from t window w as (partition by a)", "window clause"),
    ("select sum(x) over (order by a rows between b preceding and current row) from t", "frame bound"),
    ("select cast(a as mytype) from t", "type name"),
    ("select a::timestamp with time zone from t", "type form"),
    ("select interval '3' day from t", "interval text"),
    ("select interval 3 fortnights from t", "interval unit"),
    ("select interval a day from t", "interval of an expression"),
    ("select numeric '1' from t", "typed literal other than date/time"),
    ("select a from t fetch first 10 rows only", "fetch first"),
    ("select * except (a) from t", "star modifiers"),
    ("select sum(a) filter (where b > 1) from t", "filter (where ..)"),
    ("select array_agg(a order by b) from t", "order by inside a call"),
    ("select json_value(a, '$.b' returning int) from t", "keyword argument"),
    ("select f(a => 1) from t", "named argument"),
    ("select substring(a from 2) from t", "special call form"),
    ("select count(all a) from t", "all inside a call"),
    ("select array_agg(distinct x ignore nulls) from t", "distinct .. ignore nulls"),
    ("select struct(1 as a) from t", "struct field alias"),
    ("select f(a,) from t", "trailing comma"),
    ("select case when a then 1 end case from t", "end case"),
    ("select a from t1 left semi join t2 on t1.a = t2.a", "join type"),
    ("select a from t1 cross apply f(t1.a)", "join type"),
    ("select * from t tablesample bernoulli (10)", "table modifiers"),
    ("select * from (values (1, 2)) v", "values in FROM"),
    ("select * from t pivot (sum(a) for b in (1, 2))", "pivot"),
    ("select a from t lateral view explode(b) x as c", "lateral view"),
    ("select * from (t1 join t2 on t1.a = t2.a)", "parenthesised join"),
    ("select a from t group by all", "group by all"),
    ("select a from t group by grouping sets ((a), ())", "grouping sets"),
    ("select a from t qualify row_number() over (order by a) = 1", "qualify"),
    ("select a from t cluster by a", "cluster by"),
    ("select a from t for update", "trailing clause"),
    ("select all a from t", "select all"),
    ("select a from t except all select a from u", "except all"),
    ("select a from t union distinct select a from u", "union distinct"),
    ("select a from t |> where a > 1", "pipe operator"),
    ("select * from db..t", "empty name part"),
    ("select a from t where t.a (+) = 1", "outer join mark"),
    ("select 2from t", "a number against a reserved word"),
    ("select .5from t", "a number against a reserved word"),
    ("select a 2from t", "a number against a reserved word after an operand"),
    ("select a as 2from t", "a number against a reserved word as an alias"),
    ("select 1_000_000.0_000_000", "a number against a name against a fraction"),
    ("select extract(distinct from x)", "extract(part from ..) with DISTINCT as its part"),
    ("select extract(x.y from z)", "extract(part from ..) with a dotted part"),
    ("select (a~all)", "~ before ALL: no binary operator"),
    ("select f(a ~all)", "~ before ALL in a call"),
    ("select a::all", ":: before ALL"),
    ("select cast(a as numeric.@(1, r2.5))", "a dotted type with bad parameters"),
    ("select cast(a as array<r2.5>)", "a type with bad angle parameters"),
    ("select cast(a as char varying(r2.5))", "a two-word type with bad parameters"),
    ("select a::array<", "an open angle parameter list"),
    ("select c(distinct a, b over, c)", "OVER without a window after a DISTINCT argument"),
    ("select c(distinct b within)", "WITHIN without GROUP after a DISTINCT argument"),
    ("select a[le\\U]", "a subscript (no escape check) against a name"),
    ("select f(1)[le\\U]", "a subscript against a call"),
    ("select a [le\\U]", "a bad escape in a bracket name after a space"),
    ("select f(1@a¿", "a name against a number, cut by a character no name holds, in a call"),
    ("select (1.5@a¿)", "the same in parentheses"),
    ("select 6_1e-1on", "a reserved word against the number after a glued sign"),
    ("select 6_1e-1e-1.5", "a fraction after a number the classic lexer ends inside a token"),
    ("select a is not not b", "NOT right after IS NOT"),
    ("select top(*) x", "a star in TOP's parentheses"),
    ("select interval 1E33336", "an interval amount over the digit limit and no unit"),
    ("select interval 1E33336rk", "an interval amount over the digit limit and a bad unit"),
    ("select a from t join u using (a.)", "a USING column ending in a dot"),
    ("select a from sr join t2 using( ocrossn.id", "an open USING list after a dotted column"),
    ("select a, nocase", "a word reserved only in the classic grammar as an operand"),
    ("select f(nocase)", "a word reserved only in the classic grammar as an argument"),
    ("select a collate t.x, b from u", "a dotted collation name"),
    ("select a collate t.", "a collation name and a dot"),
    ("select f(1_0.x.5)", "a fraction after a dotted name against a number"),
    ("select 1_0.x..y", "an empty part after a dotted name against a number"),
    ("select a as 6_6.x", "a number against a dotted name as an alias"),
    ("select 1_0.x.", "a dotted name against a number ending in a dot"),
]


@pytest.mark.parametrize("sql,construct", CLASSIC_MODE_REFUSED)
def test_classic_mode_refuses_with_the_classic_error(sql, construct):
    kind, message = ANSWERED[sql]
    assert kind == "ParseError"
    with pytest.raises(ParseError) as mode:
        parse(sql)
    assert str(mode.value) == message, construct


def _answered_texts():
    return list(dict.fromkeys(CLASSIC_MODE_MATCHES + [sql for sql, _ in CLASSIC_MODE_REFUSED]))


@needs_reference
def test_recorded_answers_are_the_reference_grammars():
    texts = _answered_texts()
    assert sorted(ANSWERED) == sorted(texts), "record the answers again: python tests/test_classic_render.py --record"
    differ = [sql for sql in texts if not _agree(ANSWERED[sql], _outcome(reference_parse, sql))]
    assert differ == []


def test_classic_mode_is_not_a_dialect_name():
    import sql_parser
    with pytest.raises(ValueError):
        sql_parser.parse_script("select 1", dialect="classic")


@needs_reference
@pytest.mark.parametrize("sql", DEEP + [nested_from(1000)], ids=["parens-900", "and-5000", "from-1000"])
def test_classic_mode_deep_nesting(sql):
    old = sys.getrecursionlimit()
    sys.setrecursionlimit(max(old, 20000))
    try:
        assert same(parse(sql), reference_parse(sql))
    finally:
        sys.setrecursionlimit(old)


def _check_tool():
    import importlib.util
    from pathlib import Path
    path = Path(__file__).resolve().parents[1] / "tools" / "check_classic_render.py"
    spec = importlib.util.spec_from_file_location("check_classic_render", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@needs_reference
@pytest.mark.parametrize("generator,count", [("glued_texts", 4000), ("random_queries", 400)])
def test_classic_mode_agrees_on_generated_texts(generator, count):
    texts = getattr(_check_tool(), generator)(count)
    differ = [sql for sql in texts if not _agree(_outcome(parse, sql), _outcome(reference_parse, sql))]
    assert differ == []


def test_classic_mode_long_run_of_glued_numbers_is_an_error_not_a_crash():
    # Each number runs on into the next token; the token pass reads them in a loop.
    sql = "select @1" + "e-1" * 200000
    with pytest.raises(ParseError) as mode:
        parse(sql)
    assert mode.value.expecting == "at most 1000 nested levels"
    if reference_parse is not None:
        with pytest.raises(ParseError) as classic:
            reference_parse(sql)
        assert str(mode.value) == str(classic.value)


def _record():
    """Writes the reference grammar's answers to the texts of the tables."""
    assert reference_parse is not None, "a developer build (-DSQLPARSE_CLASSIC_REFERENCE=ON) is needed"
    ANSWERS.parent.mkdir(exist_ok=True)
    with open(ANSWERS, "w", encoding="utf-8") as f:
        for sql in _answered_texts():
            kind, answer = _outcome(reference_parse, sql)
            row = {"sql": sql, "tree": answer} if kind == "tree" else {"sql": sql, "error": answer}
            assert kind in ("tree", "ParseError"), (sql, kind, answer)
            f.write(json.dumps(row, ensure_ascii=False) + "\n")


if __name__ == "__main__" and sys.argv[1:] == ["--record"]:
    _record()
