"""The analyser stage by stage: select list records, star expansion, FROM
dispatch, qualified and unqualified resolution, set operations, the state view
and the Python surface. Trees are written in the parser's shape.

Where a case's lineage is not obvious, the comment derives it by hand from the
algorithms: 4.1 records, 2.5 dispatch, 3.1 (alias walk) and 3.2 (FROM node).
"""


import pytest

from sqlparse_main import Analyze, VarnelParseMain


def triples(tree):
    return Analyze(tree).analyze_sql()


def records(tree):
    a = Analyze(tree)
    a.analyze_sql()
    return {k: v.to_dict() for k, v in a._var.result.items()}


SUB = {"select": [{"value": "a"}, {"value": "b.c"}], "from": "db.t"}

# ---- Select list ---------------------------------------------------------------

SELECT_LIST = [
    ("alias", {"select": {"value": "x", "name": "y"}},
     {"y": {"value": "x", "name": "y", "master": None, "path": "$.select.value"}}),
    ("qualifier carries over to later entries",
     {"select": [{"value": "a.x"}, {"value": "y"}, {"value": "b.z"}, {"value": "w"}]},
     {"x": {"value": "x", "name": "x", "master": "a", "path": "$.select.[0].value"},
      "y": {"value": "y", "name": "y", "master": "a", "path": "$.select.[1].value"},
      "z": {"value": "z", "name": "z", "master": "b", "path": "$.select.[2].value"},
      "w": {"value": "w", "name": "w", "master": "b", "path": "$.select.[3].value"}}),
    ("db.t.c: second piece is the value, first the master", {"select": {"value": "db.t.c"}},
     {"t": {"value": "t", "name": "t", "master": "db", "path": "$.select.value"}}),
    (".x and x.", {"select": [{"value": ".x"}, {"value": "x."}]},
     {"x": {"value": "x", "name": "x", "master": "", "path": "$.select.[0].value"},
      "": {"value": "", "name": "", "master": "x", "path": "$.select.[1].value"}}),
    ("empty alias is no alias", {"select": {"value": "a", "name": ""}},
     {"a": {"value": "a", "name": "a", "master": None, "path": "$.select.value"}}),
    ("expression entry: only its nested column values", {"select": {"value": {"add": [{"value": "p"}, 1]}, "name": "s"}},
     {"p": {"value": "p", "name": "p", "master": None, "path": "$.select.value.add.[0].value"}}),
    ("numbers and nulls are no columns", {"select": [{"value": 1}, {"value": None, "name": "n"}, {"value": "a"}]},
     {"a": {"value": "a", "name": "a", "master": None, "path": "$.select.[2].value"}}),
    ("duplicate output name: later record, first place",
     {"select": [{"value": "a", "name": "k"}, {"value": "b"}, {"value": "c", "name": "k"}]},
     {"k": {"value": "c", "name": "k", "master": None, "path": "$.select.[2].value"},
      "b": {"value": "b", "name": "b", "master": None, "path": "$.select.[1].value"}}),
    ("star string", {"select": "*"}, {"*": {"value": "*", "name": "*", "master": None, "path": "$.select"}}),
    ("qualified star string", {"select": "t.*"}, {"*": {"value": "*", "name": "*", "master": "t", "path": "$.select"}}),
    ("star list: value and name hold the whole list", {"select": ["*", {"value": "a"}]},
     {"*": {"value": ["*", {"value": "a"}], "name": ["*", {"value": "a"}], "master": None, "path": "$.select"},
      "a": {"value": "a", "name": "a", "master": None, "path": "$.select.[1].value"}}),
    ("star string's master carries into the loop: none here, select has no values", {"select": "s.*", "x": 1},
     {"*": {"value": "*", "name": "*", "master": "s", "path": "$.select"}}),
]


@pytest.mark.parametrize("label,tree,want", SELECT_LIST, ids=[c[0] for c in SELECT_LIST])
def test_select_list_records(label, tree, want):
    got = records(tree)
    assert got == want
    assert list(got) == list(want)


# ---- Star expansion --------------------------------------------------------------

def test_qualified_star_over_sub_query_takes_its_place():
    # s.* is recorded under "*" and replaced at once by the sub-query's
    # entries, "a" (master s by default) and "c" (master b from "b.c"), with
    # paths relative to the sub-query. From stage: "x" -> 3.2 lends the
    # alias s -> 3.1 analyses the sub-query, which has no output "x": nothing
    # (likewise "z"). "a" -> alias s -> the sub-query's "a" has table db.t ->
    # (db.t, a, a). "c" has master b, which no alias equals: unresolved.
    tree = {"select": [{"value": "x"}, {"value": "s.*"}, {"value": "z"}], "from": {"value": SUB, "name": "s"}}
    a = Analyze(tree)
    assert a.analyze_sql() == [("db.t", "a", "a")]
    got = {k: (v.master, v.path) for k, v in a._var.result.items()}
    assert list(got) == ["x", "a", "c", "z"]
    # "a" took the sub-query record's master (none) when it was resolved.
    assert got["a"] == (None, "$.select.[0].value") and got["c"] == ("b", "$.select.[1].value")


def test_qualified_star_over_plain_table_stays_and_resolves_through_the_alias():
    tree = {"select": [{"value": "e.*"}, {"value": "d.name", "name": "dept"}],
            "from": [{"value": "hr.employees", "name": "e"},
                     {"join": {"value": "hr.departments", "name": "d"}, "on": {"eq": ["e.k", "d.k"]}}]}
    assert triples(tree) == [("hr.employees", "*", "*"), ("hr.departments", "name", "dept")]


def test_select_star_from_table():
    assert triples({"select": "*", "from": "hr.employees"}) == [("hr.employees", "*", "*")]


def test_bare_star_entry_in_the_loop_is_dropped():
    # {"value": "*"}: record "*" with no master; no alias equals None -> removed.
    assert records({"select": {"value": "*"}, "from": "t"}) == {}


def test_nested_qualified_stars_over_sub_queries():
    # s.* expands the sub-query's select list with master s: its entry "r.*"
    # replaces the "*" record with master r and is expanded over the alias r
    # with a path relative to the outer tree, looked up in the sub-query:
    # nothing found there -> error (the expansion's own limit).
    inner = {"select": [{"value": "a"}], "from": "t"}
    tree = {"select": {"value": "s.*"},
            "from": {"value": {"select": {"value": "r.*"}, "from": {"value": inner, "name": "r"}}, "name": "s"}}
    with pytest.raises(AttributeError):
        triples(tree)


def test_star_from_sub_query_star():
    # Sub-query "select * from t" has a star record with table t (3.2); the
    # outer "*" (3.2 -> alias s -> 3.1) takes the star case: table t.
    assert triples({"select": "*", "from": {"value": {"select": "*", "from": "t"}, "name": "s"}}) == [("t", "*", "*")]


# A star over a sub-query that itself selects a star. The outer expansion
# puts the sub-query's "u.*" under the same key "*", whose own expansion
# (no alias u) removes it; the outer removal then finds nothing to remove.
# Each case: text, records of the text (database, table, src, tgt), and the
# analyser's triples of its parse tree; or the error both raise.
DERIVED_STARS = [
    ("select s.* from (select t.* from t) s", [], []),
    ("select s.* from (select a, u.* from t) s", [(None, "t", "a", "a")], [("t", "a", "a")]),
    ("select s.* from (select a, b, u.* from db.t) as s",
     [("db", "t", "a", "a"), ("db", "t", "b", "b")], [("db.t", "a", "a"), ("db.t", "b", "b")]),
    # "c" inherits the qualifier u of the star before it: no alias u, unresolved.
    ("select s.* from (select a, u.*, c from db.t) s", [("db", "t", "a", "a")], [("db.t", "a", "a")]),
    ("select s.*, s.a as k from (select a, u.* from t) s",
     [(None, "t", "a", "a"), (None, "t", "a", "k")], [("t", "a", "a"), ("t", "a", "k")]),
    # Unqualified outer stars: the inner star's master t names no alias.
    ("select * from (select t.* from t) s", [], []),
    ("select * from (select * from (select t.* from t) s) x", [], []),
    ("select x.* from (select * from (select t.* from t) s) x", [], []),
    # Two levels of qualified stars: the inner expansion looks the alias s up
    # by the outer query's path, inside the sub-query, and finds nothing.
    ("select x.* from (select s.* from (select t.* from t) s) x", AttributeError, None),
    ("select x.* from (select s.* from (select a, t.* from t) s) x", AttributeError, None),
]


@pytest.mark.parametrize("sql,want_records,want_triples", DERIVED_STARS,
                         ids=[c[0] for c in DERIVED_STARS])
def test_star_over_derived_star(sql, want_records, want_triples):
    from sqlparse_main import parse, parse_sql_many

    if isinstance(want_records, type):
        with pytest.raises(want_records):
            VarnelParseMain()._parse_sql(sql)
        with pytest.raises(want_records):
            triples(parse(sql))
        (outcome,) = parse_sql_many([sql])
        assert isinstance(outcome, want_records)
        return
    as_tuples = lambda recs: [(r.database, r.table, r.src, r.tgt) for r in recs]
    assert as_tuples(VarnelParseMain()._parse_sql(sql)) == want_records
    assert triples(parse(sql)) == want_triples
    (outcome,) = parse_sql_many([sql, sql], threads=2)[:1]
    assert as_tuples(outcome) == want_records


# ---- FROM dispatch and resolution -------------------------------------------------

RESOLUTION = [
    ("unqualified single table", {"select": {"value": "a"}, "from": "db.t"}, [("db.t", "a", "a")]),
    ("alias of the single from entry", {"select": {"value": "a"}, "from": {"value": "t", "name": "x"}}, [("t", "a", "a")]),
    ("qualifier that is a table name resolves nothing", {"select": {"value": "t.a"}, "from": "t"}, []),
    ("no from", {"select": {"value": "a"}}, []),
    ("sub-query, renamed column", {"select": {"value": "s.y", "name": "z"},
                                   "from": {"value": {"select": {"value": "x", "name": "y"}, "from": "t"}, "name": "s"}},
     [("t", "x", "z")]),
    ("sub-query without the column", {"select": {"value": "s.q"}, "from": {"value": SUB, "name": "s"}}, []),
    ("three levels", {"select": {"value": "u.a"},
                      "from": {"value": {"select": {"value": "v.a"},
                                         "from": {"value": {"select": {"value": "a"}, "from": "db.t"}, "name": "v"}},
                               "name": "u"}},
     [("db.t", "a", "a")]),
    # The same alias at two depths: 3.1 handles both matches. Match 1 (outer
    # s) analyses the sub-query: its "a" -> alias s -> table t -> named case
    # gives table t and master s, and copies (t, a, a). Match 2 (inner s, its
    # sibling value "t") is handled again: table t, (t, a, a) once more.
    ("same alias at two depths", {"select": {"value": "s.a"},
                                  "from": {"value": {"select": {"value": "s.a"}, "from": {"value": "t", "name": "s"}}, "name": "s"}},
     [("t", "a", "a")]),
    ("comma list with qualified columns", {"select": [{"value": "f.n"}, {"value": "o"}],
                                           "from": [{"value": "ops.flights", "name": "f"}, {"value": "ref.ap", "name": "a"}]},
     [("ops.flights", "n", "n"), ("ops.flights", "o", "o")]),
    # 3.2 on a path holding "one": "$.select.value.phone.[0].value" -> pieces
    # "$.select.value.ph" / ".[0].value" -> "$.$.select.value.phfrom": nothing.
    ("record path holding 'one'", {"select": {"value": {"phone": [{"value": "a"}]}}, "from": "t"}, []),
]


@pytest.mark.parametrize("label,tree,want", RESOLUTION, ids=[c[0] for c in RESOLUTION])
def test_resolution(label, tree, want):
    assert triples(tree) == want


# A sub-query's aliases are every "name" below each of its FROM values (not
# nested in another one), FROM values taken in the order that a "..from"
# search meets them: a map's own "from" before those nested in its other
# entries, so a scalar sub-query's FROM in the select list comes after the
# query's own. All aliases equal to the qualifier are followed, in that order.
SUB_QUERY_ALIASES = [
    # x -> db.t first (the sub-query's own FROM), then x -> db.u (the scalar
    # sub-query's, met later though written earlier): two triples, in that order.
    ("select s.a from (select (select max(b) from db.u x) as m, x.a from db.t x) s",
     [("db.t", "a", "a"), ("db.u", "a", "a")]),
    ("select s.a from (select x.a from db.t x where x.a in (select a from db.u x)) s",
     [("db.t", "a", "a"), ("db.u", "a", "a")]),
    # The WHERE sub-query's x names a table without the column's source.
    ("select s.a from (select x.a from (select a from db.t) x where exists (select 1 from db.u x)) s",
     [("db.t", "a", "a")]),
    ("select s.a, s.m from (select x.a, y.b as m from db.t x join (select b from db.v) y on x.k = y.k) s",
     [("db.t", "a", "a"), ("db.v", "b", "m")]),
    ("select s.a from (select x.a from db.t x union all select x.a from db.u x) s",
     [("db.t", "a", "a"), ("db.u", "a", "a")]),
    ("select x.a from (select x.a from (select x.a from db.t x) x) x", [("db.t", "a", "a")]),
    ("select q.a from (select s.a from (select x.a from (select a from db.t) x) s) q", [("db.t", "a", "a")]),
    # A star expanded inside a sub-query, over that sub-query's aliases.
    ("select q.b, q.a from (select s.* from (select a, b from db.t) s, db.u x) q",
     [("db.t", "b", "b"), ("db.t", "a", "a")]),
    ("select q.c from (select s.*, x.c from (select a from db.t) s join db.u x on s.a = x.a) q",
     [("db.u", "c", "c")]),
]


@pytest.mark.parametrize("sql,want", SUB_QUERY_ALIASES, ids=[c[0] for c in SUB_QUERY_ALIASES])
def test_aliases_inside_sub_queries(sql, want):
    from sqlparse_main import parse

    assert triples(parse(sql)) == want
    got = VarnelParseMain()._parse_sql(sql)
    assert [(r.database + "." + r.table, r.src, r.tgt) for r in got] == want


def _where_alias(alias):
    # s -> a sub-query m, whose WHERE holds a sub-query over db.u aliased
    # `alias`, -> a sub-query selecting b as a from db.t, aliased True.
    inner = {"select": {"value": "b", "name": "a"}, "from": {"value": "db.t", "name": True}}
    middle = {"select": {"value": "a"}, "from": {"value": inner, "name": "m"},
              "where": {"exists": {"select": {"value": 1}, "from": {"value": "db.u", "name": alias}}}}
    return {"select": {"value": "a"}, "from": {"value": middle, "name": "s"}}


# Aliases that are not text equal by Python's rules (True == 1 == 1.0). In m,
# "a" follows alias m to the inner query, whose record lends it the master
# True; the walk goes on with that master: the inner alias True (db.t beside
# it) matches, and so does the WHERE sub-query's alias when it equals True.
NON_TEXT_ALIASES = [
    ("int equal to True", _where_alias(1), [("db.t", "b", "a"), ("db.t", "a", "a"), ("db.u", "a", "a")]),
    ("float equal to True", _where_alias(1.0), [("db.t", "b", "a"), ("db.t", "a", "a"), ("db.u", "a", "a")]),
    ("text is not True", _where_alias("1"), [("db.t", "b", "a"), ("db.t", "a", "a")]),
    ("other number", _where_alias(2), [("db.t", "b", "a"), ("db.t", "a", "a")]),
]


@pytest.mark.parametrize("label,tree,want", NON_TEXT_ALIASES, ids=[c[0] for c in NON_TEXT_ALIASES])
def test_non_text_aliases_inside_sub_queries(label, tree, want):
    assert triples(tree) == want


def test_record_fields_after_resolution():
    tree = {"select": {"value": "s.a", "name": "x"}, "from": {"value": {"select": {"value": "a"}, "from": "db.t"}, "name": "s"}}
    assert records(tree) == {"x": {"value": "a", "name": "x", "master": None, "path": "$.select.value",
                                   "table": "db.t", "table_column": "a"}}


# ---- Set operations -------------------------------------------------------------

B1 = {"select": {"value": "a"}, "from": "t1"}
B2 = {"select": {"value": "a"}, "from": "t2"}
B3 = {"select": {"value": "b"}, "from": "t3"}
UNIONS = [
    ("two branches", {"union": [B1, B2]}, [("t1", "a", "a"), ("t2", "a", "a")]),
    ("same triple in both branches once", {"union_all": [B1, B1]}, [("t1", "a", "a")]),
    ("both keys in map order", {"union_all": [B3], "union": [B1]}, [("t3", "b", "b"), ("t1", "a", "a")]),
    ("empty branch list", {"union": []}, []),
    ("mixed chain nests to the right", {"union": [B1, {"union_all": [B2, B3]}]},
     [("t1", "a", "a"), ("t2", "a", "a"), ("t3", "b", "b")]),
    ("order by after a union wraps it under from", {"from": {"union_all": [B1, B2]}, "orderby": {"value": "a"}, "limit": 10},
     [("t1", "a", "a"), ("t2", "a", "a")]),
    ("a map and a number beside the union key", {"union": [B1], "orderby": {"value": "a"}, "limit": 5}, [("t1", "a", "a")]),
    ("intersect and except", {"intersect": [B1, {"except": [B2, B3]}]},
     [("t1", "a", "a"), ("t2", "a", "a"), ("t3", "b", "b")]),
    ("union sub-query behind an alias", {"select": {"value": "u.a"}, "from": {"value": {"union_all": [B1, B2]}, "name": "u"}},
     [("t1", "a", "a"), ("t2", "a", "a")]),
    ("empty union sub-query analyses to nothing", {"select": {"value": "u.a"}, "from": {"value": {"union": []}, "name": "u"}}, []),
    # Star branches: the star test reads the analyser's own tree, the union map.
    ("star branches see the union map", {"union": [{"select": "*", "from": "t1"}]}, []),
]


@pytest.mark.parametrize("label,tree,want", UNIONS, ids=[c[0] for c in UNIONS])
def test_set_operations(label, tree, want):
    assert triples(tree) == want


# ---- Driver, state and Python surface --------------------------------------------

def test_repeated_calls_accumulate_and_return_new_lists():
    a = Analyze({"select": {"value": "a"}, "from": "t"})
    first = a.analyze_sql()
    first.append("junk")
    assert a.analyze_sql(level=0) == [("t", "a", "a")]
    assert a._var.sqls == [("t", "a", "a"), ("t", "a", "a")]  # sqls keeps every append


def test_tree_can_be_replaced_between_calls():
    a = Analyze({"select": {"value": "a"}, "from": "t"})
    a.analyze_sql()
    a.tree = {"select": {"value": "b"}, "from": "u"}
    assert a.analyze_sql() == [("t", "a", "a"), ("u", "b", "b")]


def test_handed_out_tree_changes_are_seen():
    a = Analyze({"select": {"value": "a"}, "from": "t"})
    a.analyze_sql()
    a.tree["from"] = "u"
    assert a.analyze_sql() == [("t", "a", "a"), ("u", "a", "a")]


def test_state_view_is_a_read_only_snapshot():
    tree = {"select": [{"value": "s.a"}], "from": {"value": "t", "name": "s"}}
    a = Analyze(tree)
    assert a._var.sqls == [] and dict(a._var.result) == {}
    a.analyze_sql()
    v = a._var
    assert [(m.value, m.full_path) for m in v.all_select_value] == [("s.a", "select.[0].value")]
    assert [(m.value, m.full_path) for m in v.all_from] == [(tree["from"], "from")]
    assert [(m.value, m.full_path) for m in v.all_from_name] == [("s", "from.name")]
    assert v.result["a"].get("table") == "t" and v.result.get("zz") is None
    with pytest.raises(AttributeError):
        v.sqls = []
    with pytest.raises(TypeError):
        v.result["b"] = None


def test_triples_keep_list_members():
    # The star list record gives (t, list, list); dedupe by equality works on lists.
    t = {"select": ["*", {"value": "a"}], "from": "t"}
    # In a union the star test reads the union map: no star record, only "a".
    assert triples({"union_all": [t, t]}) == [("t", "a", "a")]
    assert triples(t) == [("t", ["*", {"value": "a"}], ["*", {"value": "a"}]), ("t", "a", "a")]


def test_equal_numbers_dedupe_across_types():
    # Triples are compared by equality, 1 == 1.0 == True.
    a = Analyze({"union": [{"select": {"value": "a", "name": "x"}, "from": "t"}]})
    assert a.analyze_sql() == [("t", "a", "x")]


def test_end_to_end_overview_example():
    got = VarnelParseMain()._parse_sql("select s.a as x from (select a from db.t) s -- c")
    assert [(r.database, r.table, r.src, r.tgt) for r in got] == [("db", "t", "a", "x")]


END_TO_END = [
    ("select o.id, o.amt as gross from sales.orders o", [("sales", "orders", "id", "id"), ("sales", "orders", "amt", "gross")]),
    ("select e.* from hr.employees e", [("hr", "employees", "*", "*")]),
    ("select `x y` from `web`.`page views`", [("web", "page_views", "x_y", "x_y")]),
    ("select a from t union select a from u order by a", [(None, "t", "a", "a"), (None, "u", "a", "a")]),
    ("select a from t union select a from u union all select a from v",
     [(None, "t", "a", "a"), (None, "u", "a", "a"), (None, "v", "a", "a")]),
    ("select 1, null as x, a from t", [(None, "t", "a", "a")]),
    ("select s.k from (select x as k from db.t) s", [("db", "t", "x", "k")]),
]


@pytest.mark.parametrize("sql,want", END_TO_END)
def test_end_to_end(sql, want):
    got = VarnelParseMain()._parse_sql(sql)
    assert [(r.database, r.table, r.src, r.tgt) for r in got] == want


def test_analyze_objects_are_independent_across_threads():
    import threading

    tree = {"select": [{"value": f"c{i}"} for i in range(50)], "from": "t"}
    want = [("t", f"c{i}", f"c{i}") for i in range(50)]
    bad = []

    def work():
        for _ in range(200):
            if Analyze(tree).analyze_sql() != want:
                bad.append(1)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not bad
