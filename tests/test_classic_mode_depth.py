"""The nesting limit of parse() against the classic reference grammar.

The classic grammar allows 1,000 nested levels and fails at the token that
opens level 1,001: a parenthesis, a sub-query, a call, CASE, CAST, a type's
parameters, a prefix operator, OVER, WITHIN GROUP, TOP (..), USING, a column
list, a CTE body, and every operator of a left-nested chain (a - b - c).
Separately, a query may change its set operator at most 1,000 times.

parse() (the statement grammar's classic mode and the renderer) must agree
with the classic grammar it replaced (_classic_reference_parse, built into
developer builds only) on every text: both
accept it with the same tree, or both refuse it with the same error (text,
offset, line, column, expecting, found). The texts are generated: each
nestable construct alone and around several innermost pieces, pairs of
constructs that count differently alternating, operator chains inside
nestings, at the level where the reference grammar starts to refuse (found by
searching) and one below, and at 999, 1,000, 1,001 and 3,000 levels.
"""

import itertools
import sys

import pytest

import _sqlparse_core
from sql_parser import ParseError

pytestmark = pytest.mark.skipif(
    not hasattr(_sqlparse_core, "_classic_reference_parse"),
    reason="needs the classic reference grammar (a build with -DSQLPARSE_CLASSIC_REFERENCE=ON)")

# ---- the constructs ---------------------------------------------------------------
#
# An expression construct wraps an expression ({}) into a larger one; a query
# construct wraps a query into a larger query.

EXPR = {
    "parentheses": "({})",
    "tuple": "(1, {})",
    "scalar sub-query": "(select {})",
    "scalar sub-query with from": "(select {} from t)",
    "in list": "a in ({})",
    "not in list": "a not in (1, {})",
    "in sub-query": "a in (select {} from t)",
    "exists": "exists (select {} from t)",
    "case result": "case when a then {} end",
    "case condition": "case when {} then 1 end",
    "case subject": "case {} when 1 then 2 end",
    "case else": "case when a then 1 else {} end",
    "call": "f({})",
    "call, second argument": "f(1, {})",
    "call distinct": "count(distinct {})",
    "call of a sub-query": "f(select {})",
    "call ignore nulls": "first_value({} ignore nulls)",
    "cast": "cast({} as int)",
    "type parameter": "cast(a as decimal({}))",
    ":: type parameter": "a::decimal({})",
    "extract": "extract(year from {})",
    "minus": "-({})",
    "not": "not ({})",
    "tilde": "~({})",
    "minus after *": "2 * -({})",
    "right of -": "a - ({})",
    "right of =": "a = ({})",
    "right of ||": "a || ({})",
    "right of and": "a and ({})",
    "right of like": "a like ({})",
    "right of is": "a is ({})",
    "left of +": "({}) + a",
    "between low": "a between ({}) and 1",
    "between high": "a between 1 and ({})",
    "after - *": "a - b * ({})",
    "after * -": "a * b - ({})",
    "after + +": "a + b + ({})",
    "after a prefix": "-a - ({})",
    "after not": "not a and ({})",
    "after between": "a between b and c - ({})",
    "after in": "a in (1) - ({})",
    "after ::": "a::int - ({})",
    "after collate": "a collate nocase || ({})",
    "after 2x": "2x - ({})",
    "2x after -": "a - 2x * ({})",
    "after a mixed chain": "a = b < c | d & e + f * g || h - ({})",
    "window partition": "(select sum(a) over (partition by {}) from t)",
    "window order": "(select sum(a) over (order by {}) from t)",
    "within group": "(select percentile(a) within group (order by {}) from t)",
    "top": "(select top ({}) a from t)",
    "where": "(select a from t where {})",
    "group by": "(select a from t group by {})",
    "having": "(select a from t having {})",
    "order by": "(select a from t order by {})",
    "limit": "(select a from t limit {})",
    "offset": "(select a from t offset {})",
    "join on": "(select a from t join u on {})",
    "table function": "(select a from f({}))",
    "union branch": "(select 1 union select {})",
    "union all, first branch": "(select {} union all select 1)",
    "intersect branch": "(select 1 intersect select {})",
    "minus branch": "(select 1 minus select {})",
}

# The innermost expression.
EXPR_LEAVES = [
    "a", "1", "+6", "2x", "-a", "not a", "~a", "null", "'s'", "x.y", "a - b", "a + b + c",
    "case when a then 1 end", "f()", "count(*)", "cast(a as int)", "a::int", "a::decimal(1, 2)",
    "(select 1)", "exists (select 1)", "a in (1, 2)", "a between 1 and 2", "interval 3 day",
    "date '2020-01-01'", "a is null", "a collate nocase", "extract(year from d)",
    "a +",  # a syntax error at the innermost place
]

# Where the outermost expression stands.
EXPR_CONTEXTS = [
    "select {} from t",
    "select a from t where {}",
    "select a from t order by {} desc",
    "select {} x, b from t )",  # a syntax error after it
]

# (template, whether the hole may hold a WITH query, whether the result is one)
QUERY = {
    "from sub-query": ("select * from ({})", False, False),
    "from sub-query with alias": ("select * from ({}) x", False, False),
    "from sub-query with columns": ("select * from ({}) x (a, b)", False, False),
    "joined sub-query": ("select * from t join ({}) x on true", False, False),
    "joined sub-query using": ("select * from t left join ({}) x using (a)", False, False),
    "in sub-query": ("select a from t where a in ({})", False, False),
    "exists": ("select a from t where exists ({})", False, False),
    "scalar sub-query": ("select ({}) from t", False, False),
    "call of a sub-query": ("select f({}) from t", False, False),
    "union branch": ("select 1 union select * from ({})", False, False),
    "cte": ("with x as ({}) select 1", True, True),
    "second cte": ("with y as (select 1), x as ({}) select * from x", True, True),
}

# The innermost query.
QUERY_LEAVES = [
    "select a from t",
    "select * from t join u using (a)",
    "select * from t x (a, b)",
    "select sum(a) over (order by a) from t",
    "select percentile(a) within group (order by a) from t",
    "select top (1) a from t",
    "select -(a) from t",
    "select a from t union select a from u union all select a from v",
    "select a from t where",  # a syntax error at the innermost place
]

# Operator chains: a first operand, then a repeated operator and operand.
CHAINS = {
    "-": ("a", " - a"),
    "=": ("a", " = a"),
    "<": ("a", " < a"),
    "||": ("a", " || a"),
    "/": ("a", " / a"),
    "%": ("a", " % a"),
    "|": ("a", " | a"),
    "&": ("a", " & a"),
    "like": ("a", " like a"),
    "not like": ("a", " not like a"),
    "rlike": ("a", " rlike a"),
    "similar to": ("a", " similar to a"),
    "is": ("a", " is a"),
    "is not null": ("a", " is not null"),
    "in": ("a", " in (1)"),
    "not in": ("a", " not in (1, 2)"),
    "between": ("a", " between 1 and 2"),
    "not between": ("a", " not between 1 and 2"),
    "::": ("a", "::int"),
    "collate": ("a", " collate x"),
    "+ -": ("a", " + a - a"),
    "* /": ("a", " * a / a"),
    "and or (flat)": ("a", " and a or a"),
    "- 2x": ("a", " - 2x"),
    "- -": ("a", " - -a"),
    "* -": ("a", " * -a - a"),
    "+ (flat)": ("a", " + a"),
    "and (flat)": ("a", " and a"),
}

# Set operations: the operator changes with every branch (or does not).
SET_OPS = {
    "union, union all": " union select 1 union all select 1",
    "union, except": " union select 1 except select 1",
    "except, minus (one operator)": " except select 1 minus select 1",
    "union, intersect (no change)": " union select 1 intersect select 1",
}


# ---- comparing --------------------------------------------------------------------

DEPTH = "at most 1000 nested levels"


def outcome(parse, text):
    try:
        return "tree", parse(text)
    except ParseError as e:
        return "error", (str(e), e.offset, e.line, e.column, e.expecting, e.found)


def refused_by_depth(text):
    try:
        _sqlparse_core._classic_reference_tree_only(text)
    except ParseError as e:
        return e.expecting == DEPTH
    return False


# Constructs whose accepted texts the classic mode does not render yet (a
# type parameter other than a number): only their refusals are compared.
NOT_RENDERED = {"type parameter", ":: type parameter"}


def assert_same(text, refusals_only=False):
    """Both read the text alike; returns whether the reference grammar refuses
    it for its nesting."""
    old = sys.getrecursionlimit()
    sys.setrecursionlimit(max(old, 30000))
    try:
        kind, classic = outcome(_sqlparse_core._classic_reference_parse, text)
        refused = kind == "error" and classic[4] == DEPTH
        if refusals_only and not refused:
            return False
        mode_kind, mode = outcome(_sqlparse_core.parse, text)
        # repr keeps key order and tells True from 1 and 1 from 1.0.
        if kind != mode_kind or (repr(classic) != repr(mode) if kind == "tree" else classic != mode):
            shown = text if len(text) < 300 else text[:150] + " ... " + text[-150:]
            pytest.fail(f"{shown}\nreference grammar: {kind} {str(classic)[:300]}\nparse():           {mode_kind} {str(mode)[:300]}")
        return refused
    finally:
        sys.setrecursionlimit(old)


def estimated_first_refused(build, high=1001):
    """Where the reference grammar starts refusing build(n) for its nesting,
    as the text suggests: the least n whose text holds the token it refuses
    at (None when it accepts build(4 * high)). build(n) grows at its inside:
    the text before a place stays the same as n grows."""
    for high in (high, 4 * high):
        text = build(high)
        try:
            _sqlparse_core._classic_reference_tree_only(text)
            continue
        except ParseError as e:
            if e.expecting != DEPTH:
                return None
            key = text[:e.offset + 1]  # the texts are ASCII: chars are bytes
            break
    else:
        return None
    low, n = 0, high
    while n - low > 1:
        mid = (low + n) // 2
        if build(mid).startswith(key):
            n = mid
        else:
            low = mid
    return n


def searched_first_refused(build, near, high=4004):
    for n in (near + 1, near + 2, near - 1, near - 2):
        if n > 0 and refused_by_depth(build(n)) and not refused_by_depth(build(n - 1)):
            return n
    low, n = 0, high
    while n - low > 1:
        mid = (low + n) // 2
        if refused_by_depth(build(mid)):
            n = mid
        else:
            low = mid
    return n


def assert_same_at_the_limit(build, refusals_only=False, may_accept_all=False):
    """Both read alike the deepest text the reference grammar accepts and the
    first it refuses for its nesting; returns that first level."""
    n = estimated_first_refused(build)
    if n is None:
        assert may_accept_all, "the reference grammar accepts every level"
        return None
    if assert_same(build(n), refusals_only) and not assert_same(build(n - 1), refusals_only):
        return n
    n = searched_first_refused(build, n)
    assert_same(build(n - 1), refusals_only)
    assert_same(build(n), refusals_only)
    return n


def nest(templates, levels, leaf):
    """templates[0] outermost, alternating, `levels` deep around `leaf`."""
    parts = [t.split("{}") for t in templates]
    full, rest = divmod(levels, len(parts))
    head = "".join(b for b, _ in parts) * full + "".join(b for b, _ in parts[:rest])
    tail = "".join(a for _, a in reversed(parts[:rest])) + "".join(a for _, a in reversed(parts)) * full
    return head + leaf + tail


def query_template(name):
    return QUERY[name][0]


# ---- the tests --------------------------------------------------------------------

FIXED_LEVELS = (999, 1000, 1001, 3000)


@pytest.mark.parametrize("name", list(EXPR))
def test_each_expression_construct_is_classic_sql(name):
    # Guards the table: three levels parse, so deep texts test the limit.
    text = "select " + nest([EXPR[name]], 3, "a") + " from t"
    _sqlparse_core.parse(text)
    assert_same(text, refusals_only=name in NOT_RENDERED)


@pytest.mark.parametrize("name", list(QUERY))
def test_each_query_construct_is_classic_sql(name):
    text = nest([query_template(name)], 3, "select a from t")
    _sqlparse_core.parse(text)
    assert_same(text)


@pytest.mark.parametrize("name", list(EXPR))
def test_expression_construct_alone(name):
    def build(n):
        return "select " + nest([EXPR[name]], n, "a") + " from t"
    assert_same_at_the_limit(build, refusals_only=name in NOT_RENDERED)
    for n in FIXED_LEVELS:
        assert_same(build(n), refusals_only=name in NOT_RENDERED)


@pytest.mark.parametrize("leaf", EXPR_LEAVES)
@pytest.mark.parametrize("name", ["minus", "in list", "after 2x"])
def test_expression_construct_around_each_innermost_piece(name, leaf):
    def build(n):
        return "select " + nest([EXPR[name]], n, leaf) + " from t"
    assert_same_at_the_limit(build, refusals_only=name in NOT_RENDERED)


@pytest.mark.parametrize("context", EXPR_CONTEXTS)
@pytest.mark.parametrize("name", ["parentheses", "call", "in sub-query", "right of =", "after 2x", "window order"])
def test_expression_construct_in_each_clause(name, context):
    def build(n):
        return context.format(nest([EXPR[name]], n, "a"))
    assert_same_at_the_limit(build)
    for n in FIXED_LEVELS:
        assert_same(build(n))


# Constructs that count differently from one another (a level before or
# after the operand, a chain that extends or not, a sub-query counted by its
# parenthesis or by a call), each pair of them alternating.
PAIRED = [
    "parentheses", "scalar sub-query", "in list", "exists", "call", "call of a sub-query", "minus",
    "minus after *", "right of -", "right of and", "between high", "after not", "after 2x",
]


@pytest.mark.parametrize("outer,inner", list(itertools.permutations(PAIRED, 2)))
def test_two_expression_constructs_alternating(outer, inner):
    def build(n):
        return "select " + nest([EXPR[outer], EXPR[inner]], n, "a") + " from t"
    assert_same_at_the_limit(build)


@pytest.mark.parametrize("name", list(QUERY))
def test_query_construct_alone(name):
    def build(n):
        return nest([query_template(name)], n, "select a from t")
    assert_same_at_the_limit(build)
    for n in FIXED_LEVELS:
        assert_same(build(n))


@pytest.mark.parametrize("leaf", QUERY_LEAVES)
@pytest.mark.parametrize("name", ["joined sub-query using", "call of a sub-query", "cte"])
def test_query_construct_around_each_innermost_query(name, leaf):
    def build(n):
        return nest([query_template(name)], n, leaf)
    assert_same_at_the_limit(build)


QUERY_PAIRED = ["from sub-query with columns", "joined sub-query using", "in sub-query", "exists",
                "call of a sub-query", "cte", "second cte"]


def _query_pairs():
    for a, b in itertools.permutations(QUERY_PAIRED, 2):
        _, a_takes_with, a_is_with = QUERY[a]
        _, b_takes_with, b_is_with = QUERY[b]
        # Alternating, each must hold the other.
        if (b_is_with and not a_takes_with) or (a_is_with and not b_takes_with):
            continue
        yield a, b


@pytest.mark.parametrize("outer,inner", list(_query_pairs()))
def test_two_query_constructs_alternating(outer, inner):
    def build(n):
        return nest([query_template(outer), query_template(inner)], n, "select a from t")
    assert_same_at_the_limit(build)


@pytest.mark.parametrize("query", [n for n, (_, _, is_with) in QUERY.items() if not is_with])
@pytest.mark.parametrize("expression", ["call", "in list", "after * -", "top", "window partition", "type parameter"])
def test_query_and_expression_constructs_alternating(query, expression):
    # The query's innermost select list holds the expression construct,
    # whose innermost expression is a scalar sub-query holding the query
    # construct again.
    template = query_template(query).replace("{}", "select " + EXPR[expression].replace("{}", "({})") + " from t")

    def build(n):
        return nest([template], n, "select a from t")
    assert_same_at_the_limit(build, refusals_only=expression in NOT_RENDERED)


@pytest.mark.parametrize("name", list(CHAINS))
@pytest.mark.parametrize("context", ["select {} from t", "select a from t where {}"])
def test_operator_chain(name, context):
    first, more = CHAINS[name]

    def build(n):
        return context.format(first + more * n)
    assert_same_at_the_limit(build, may_accept_all=name.endswith("(flat)"))
    for n in FIXED_LEVELS:
        assert_same(build(n))


@pytest.mark.parametrize("chain", ["-", "=", "::", "between", "in", "- 2x", "* -", "+ -", "and or (flat)"])
@pytest.mark.parametrize("name", ["call", "in list", "minus", "after * -"])
def test_operator_chain_inside_nesting(name, chain):
    first, more = CHAINS[chain]
    for levels in (333, 999):
        def build(n):
            return "select " + nest([EXPR[name]], levels, first + more * n) + " from t"
        assert_same(build(1))
        assert_same_at_the_limit(build, may_accept_all=chain.endswith("(flat)"))


@pytest.mark.parametrize("name", list(SET_OPS))
@pytest.mark.parametrize("context", ["{}", "{} order by 1 limit 1", "select * from ({}) x", "{} )"])
def test_set_operator_changes(name, context):
    def build(n):
        return context.format("select 1" + SET_OPS[name] * n)
    assert_same_at_the_limit(build, may_accept_all="(" in name)
    for n in (499, 500, 501, 1500):
        assert_same(build(n))


@pytest.mark.parametrize("levels", [1, 500, 999])
def test_set_operator_changes_inside_nesting(levels):
    def build(n):
        return "select " + "(" * levels + "select 1" + " union select 1 union all select 1" * n + ")" * levels
    assert_same_at_the_limit(build)
