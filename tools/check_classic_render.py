#!/usr/bin/env python3
"""Measures the classic tree rendered from the typed syntax tree against the
classic parser (the reference grammar parse() replaced, in a developer build
with -DSQLPARSE_CLASSIC_REFERENCE=ON; else parse() itself).

For every text of the shared data (parser-conformance.jsonl,
analysis-examples.jsonl, sql-corpus/*.jsonl) it compares
_render_classic(text) -- the statement grammar's tree of the text, rendered
in the classic shapes -- with sql_parser.parse(text), key order and types
included, and prints:

  * for texts the classic parser accepts: how many render exactly, and the
    others grouped by cause (a differing shape, a construct the renderer has
    no classic shape for, or text the statement grammar rejects);
  * for texts the classic parser rejects but the statement grammar accepts:
    grouped by the construct the classic grammar lacks (the renderer's
    reason), or, where the renderer would render the text, by the classic
    error (reserved words, comments, ...). A classic mode of the statement
    grammar must reject all of these.

    PYTHONPATH=python:build/dev python tools/check_classic_render.py [--dialect D]
        [--examples N] [--compare-dialects] [--shared DIR] [--random N] [--classic-mode]
        [--mutations N]

--mutations N measures, instead, N seeded variants of each shared text:
cut at a random place, or with a random piece (",", "(", " as ", ...)
inserted; mostly texts the classic parser rejects, which test the classic
mode's refusals and error texts.

--classic-mode parses in the statement grammar's classic mode instead of a
dialect and reports two figures: of the texts the classic parser accepts, how
many the classic mode accepts and renders exactly; of the texts it rejects,
how many the classic mode rejects too (and how many of those with the classic
parser's exact error message). What the classic mode still accepts is grouped
by the renderer's reason, or by the classic error where the text renders.

--random N measures N seeded random queries of the classic grammar instead
(operators of every level, calls, CASE, CAST, joins, set operations, WITH).

Exits with 0; the numbers are a measurement, not a gate.
"""

import argparse
import json
import random
import re
import sys
from collections import Counter, defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))

import _sqlparse_core  # noqa: E402
from sql_parser import ParseError, parse  # noqa: E402

# The classic grammar parse() read before it became the classic mode plus the
# renderer: built into developer builds only (-DSQLPARSE_CLASSIC_REFERENCE=ON).
# Without it, parse() itself stands for the classic tree.
REFERENCE = getattr(_sqlparse_core, "_classic_reference_parse", None)
classic_parse = REFERENCE or parse

DEFAULT_SHARED = ROOT.parent / "shared"


def load_texts(shared):
    """Distinct SQL texts of the shared data, in file order."""
    files = [shared / "parser-conformance.jsonl", shared / "analysis-examples.jsonl"]
    files += sorted((shared / "sql-corpus").glob("*.jsonl"))
    seen = {}
    for path in files:
        if not path.exists():
            continue
        for line in path.read_text(encoding="utf-8").splitlines():
            if not line.strip():
                continue
            row = json.loads(line)
            sql = row.get("sql")
            if isinstance(sql, str) and sql not in seen:
                seen[sql] = path.name
    return seen


def same(a, b):
    """Equality that also requires equal types and equal key order."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b


def first_difference(ours, theirs, path="$"):
    """(path, ours, theirs) at the first place the two trees differ."""
    if type(ours) is not type(theirs):
        return path, ours, theirs
    if isinstance(ours, dict):
        if list(ours) != list(theirs):
            return path + " keys", list(ours), list(theirs)
        for k in ours:
            if not same(ours[k], theirs[k]):
                return first_difference(ours[k], theirs[k], f"{path}.{k}")
    if isinstance(ours, list):
        if len(ours) != len(theirs):
            return path + " length", len(ours), len(theirs)
        for i, (x, y) in enumerate(zip(ours, theirs)):
            if not same(x, y):
                return first_difference(x, y, f"{path}[{i}]")
    return path, ours, theirs


def short(value, limit=90):
    text = json.dumps(value, ensure_ascii=False)
    return text if len(text) <= limit else text[: limit - 3] + "..."


def shape(value):
    """A coarse description of a value, for grouping differences."""
    if isinstance(value, dict):
        return "{" + ",".join(list(value)[:3]) + "}"
    if isinstance(value, list):
        return "list"
    return type(value).__name__


def difference_cause(rendered, classic):
    path, a, b = first_difference(rendered, classic)
    last = re.sub(r"\[\d+\]", "[]", path).split(".")[-1]
    return f"shape at .{last}: rendered {shape(a)}, classic {shape(b)}", f"{path}: {short(a)} vs {short(b)}"


# Reasons that name a variant ("join type anti join"): grouped by their kind.
VARIANT = re.compile(r"^(join type|operator|unary operator|postfix operator|frame units|frame bound) (.+)$")


def lacks_cause(reason):
    """(group, variant) of a renderer reason."""
    m = VARIANT.match(reason)
    return (f"lacks: {m.group(1)} ...", m.group(2)) if m else (f"lacks: {reason}", "")


def classic_error_cause(sql, error):
    """Why the classic parser rejects a text whose typed tree renders: a
    comment, or syntax the typed tree does not show (dropped words, trailing
    commas, operators written in two pieces)."""
    found = error.found.split()[0] if error.found and error.found != "end of text" else error.found
    if "/*" in sql:
        return "classic lexer: block comment", ""
    return "not in the typed tree", f"expecting {error.expecting}, found {found!r}"


# ---- random queries of the classic grammar (--random N) ----------------------

def random_queries(count, seed=20261208):
    """Seeded random SELECT texts over the classic grammar's constructs:
    operators of every level, prefix operators, calls, CASE, CAST, IN,
    BETWEEN, sub-queries, windows, joins, set operations, WITH."""
    rnd = random.Random(seed)
    ops = ["+", "-", "*", "/", "%", "||", "=", "<>", "<", ">=", "&", "|", "and", "or", "like",
           "not like", "rlike"]  # "a is b" (b not NULL) is left out: the statement grammar lacks it
    names = ["a", "b", "t.c", "1", "2.5", "'x'", "null", "true", '"Q"', "`b t`", "[x y]", "@v",
             "current_date", "date", "x.y.z", "2x", "+6", "0x1F"]

    def expr(d=0):
        k = rnd.randrange(16)
        if d > 2 or k < 4:
            return rnd.choice(names)
        if k < 7:
            return f"{expr(d + 1)} {rnd.choice(ops)} {expr(d + 1)}"
        if k == 7:
            return f"{rnd.choice(['-', '~', 'not '])}{expr(d + 1)}"
        if k == 8:
            args = rnd.choice(["", "*", "distinct a", expr(d + 1), f"{expr(d + 1)}, {expr(d + 1)}"])
            return f"{rnd.choice(['f', 'count', 'Coalesce', 'db.fn'])}({args})"
        if k == 9:
            subject = rnd.choice(["", expr(d + 1) + " "])
            other = rnd.choice(["", f"else {expr(d + 1)} "])
            return f"case {subject}when {expr(d + 1)} then {expr(d + 1)} {other}end"
        if k == 10:
            ty = rnd.choice(["int", "varchar(10)", "decimal(10, 2)", "double precision", "date"])
            return rnd.choice([f"cast({expr(d + 1)} as {ty})", f"{expr(d + 1)}::{ty}"])
        if k == 11:
            return f"({query(d + 1)})"
        if k == 12:
            right = rnd.choice([f"({expr(d + 1)}, {expr(d + 1)})", f"({query(d + 1)})", f"({expr(d + 1)})"])
            return f"{expr(d + 1)} {rnd.choice(['in', 'not in'])} {right}"
        if k == 13:
            return f"{expr(d + 1)} {rnd.choice(['between', 'not between'])} {expr(d + 1)} and {expr(d + 1)}"
        if k == 14:
            return rnd.choice(["date '2020-01-01'", "interval 3 day", "interval '1w, 2h'", "a collate nocase"])
        return f"({expr(d + 1)})"

    def item(d):
        k = rnd.randrange(8)
        if k == 0:
            return "*"
        if k == 1:
            return rnd.choice(["t.*", "x.y.*"])
        if k == 2:
            over = rnd.choice(["", "partition by a", "partition by a, b", "order by b desc",
                               "partition by a order by b rows between 1 preceding and current row",
                               "order by b range unbounded preceding"])
            return f"{rnd.choice(['sum(a)', 'row_number()'])} over ({over})" + rnd.choice(["", " as w"])
        return expr(d) + rnd.choice(["", " as x", " y", ' "Z"', " as [a b]"])

    def source(d):
        s = f"({query(d + 1)})" if d < 2 and rnd.random() < 0.2 else rnd.choice(
            ["t", "db.t", '"T x"', "generate_series(1, 3)"])
        return s + rnd.choice(["", " x", " as y", " as z (c1, c2)"])

    def query(d=0):
        s = "select " + rnd.choice(["", "distinct ", "top 5 ", "top (3) percent "])
        s += ", ".join(item(d) for _ in range(rnd.randint(1, 3)))
        if rnd.random() < 0.85:
            s += " from " + source(d)
            for _ in range(rnd.randint(0, 2)):
                if rnd.random() < 0.3:
                    s += ", " + source(d)
                    continue
                kind = rnd.choice(["join", "inner join", "left join", "left outer join", "right join",
                                   "full outer join", "cross join", "natural join"])
                cond = rnd.choice(["", f" on {expr(d + 1)}", " using (a)", " using (a, b)"])
                s += f" {kind} {source(d)}{cond}"
        if rnd.random() < 0.4:
            s += " where " + expr(d)
        if rnd.random() < 0.3:
            s += " group by " + ", ".join(expr(d + 1) for _ in range(rnd.randint(1, 2)))
        if rnd.random() < 0.2:
            s += " having " + expr(d)
        return s

    texts = []
    for _ in range(count):
        s = query()
        for _ in range(rnd.choice([0, 0, 1, 2])):
            s += f" {rnd.choice(['union', 'union all', 'intersect', 'except', 'minus'])} {query(1)}"
        if rnd.random() < 0.3:
            s += " order by " + ", ".join(expr(1) + rnd.choice(["", " asc", " desc"]) for _ in range(2))
        if rnd.random() < 0.2:
            s += " limit 10"
        if rnd.random() < 0.1:
            s += " offset 5"
        if rnd.random() < 0.2:
            s = f"with w as ({query(1)}) " + s
        texts.append(s)
    return texts


def mutated_texts(texts, count, seed=7):
    """Each text cut at `count` random places and with `count` random pieces
    inserted."""
    rnd = random.Random(seed)
    pieces = [" ", ",", "(", ")", " as ", " from ", "'", "-", " not ", ".", " select ", "*"]
    out = []
    for sql in texts:
        for _ in range(count):
            out.append(sql[:rnd.randrange(len(sql) + 1)])
            at = rnd.randrange(len(sql) + 1)
            out.append(sql[:at] + rnd.choice(pieces) + sql[at:])
    return list(dict.fromkeys(out))


# Pieces written against each other (no space, or one) in several clause
# positions: how the two lexers split runs of characters is where they
# differ most.
GLUE_PIECES = ["a", "1", "1.5", ".5", "1e3", "1e-3", "0x1F", "1_0", "'s'", '"q"', "[b]", "`c`", "@x", "@",
               "$1", "$", "@@", "_", "-", "+", "*", "/", "%", "||", "|", "&", "~", "!", "=", "<", ">", "<=",
               ">=", "<>", "!=", "::", ":", ".", ",", "(", ")", "?", "#", "^", "\u00bf", "\u00e9", "\\", "e", "x",
               " ", "\n", "--c\n", "/**/", ";"] + (
    "from in is not null as select where group by order having limit offset union all distinct case when "
    "then else end and or like between cast interval over partition within join on using left right full "
    "inner cross natural with asc desc nulls first last top collate nocase true false exists any some "
    "rlike similar to escape values row struct extract").split()
GLUE_CONTEXTS = ["select {} from t", "select f({})", "select a from t where {}", "select case {} end",
                 "select a from t order by {}", "select a from t group by {}", "select a from t join u on {}",
                 "select cast({} as int)", "select count(distinct {})", "select a from t where a in ({})",
                 "select sum(a) over ({})", "select a {}", "select a from t {}", "with {} select 1",
                 "select a from ({}) t", "select a from t where a between {} and b",
                 "select a from t where a between b and {}", "select a from t where a like {}",
                 "select a from t where a is {}", "select case when {} then 1 end", "select interval {}",
                 "select a from t where a like any ({})", "select top {} a from t"]


def glued_texts(count, seed=20261209):
    """`count` texts of one to five pieces written against each other."""
    rnd = random.Random(seed)
    out = []
    for _ in range(count):
        parts = [rnd.choice(GLUE_PIECES) for _ in range(rnd.randint(1, 5))]
        out.append(rnd.choice(GLUE_CONTEXTS).format(rnd.choice(("", "", " ")).join(parts)))
    return list(dict.fromkeys(out))


def measure(texts, dialect):
    accepted = Counter()
    matched = 0
    groups = defaultdict(list)     # causes of differences on accepted texts
    rejections = defaultdict(list)  # texts only the statement grammar accepts
    both_reject = 0
    classic_says = defaultdict(Counter)  # per refusal group: the classic parser's "expecting"
    for sql in texts:
        try:
            classic = classic_parse(sql)
            classic_error = None
        except ParseError as e:
            classic, classic_error = None, e
        try:
            rendered = _sqlparse_core._render_classic(sql, dialect)
            render_error = None
        except ParseError as e:
            rendered, render_error = None, ("grammar", f"statement grammar rejects: expecting {e.expecting}")
        except ValueError as e:
            rendered, render_error = None, ("renderer", str(e))
        if classic_error is None:
            accepted["all"] += 1
            if render_error is None and same(rendered, classic):
                matched += 1
            elif render_error is None:
                cause, detail = difference_cause(rendered, classic)
                groups[cause].append((sql, detail))
            elif render_error[0] == "renderer":
                groups[f"no classic shape: {render_error[1]}"].append((sql, ""))
            else:
                groups[render_error[1]].append((sql, ""))
        elif render_error is not None and render_error[0] == "grammar":
            both_reject += 1
        elif render_error is not None:
            cause, variant = lacks_cause(render_error[1])
            rejections[cause].append((sql, variant))
            classic_says[cause][classic_error.expecting] += 1
        else:
            cause, variant = classic_error_cause(sql, classic_error)
            rejections[cause].append((sql, variant))
    return accepted["all"], matched, groups, rejections, both_reject, classic_says


def measure_classic_mode(texts):
    """The two figures of the classic mode and the groups behind them."""
    counts = Counter()
    not_exact = defaultdict(list)  # classic-accepted texts not rendered exactly
    accepted = defaultdict(list)   # classic-rejected texts the classic mode accepts
    classic_says = defaultdict(Counter)
    for sql in texts:
        try:
            classic = classic_parse(sql)
            classic_error = None
        except ParseError as e:
            classic, classic_error = None, e
        try:
            rendered = _sqlparse_core._render_classic(sql, classic_mode=True)
            mode_error = None
        except ParseError as e:
            rendered, mode_error = None, ("grammar", e)
        except ValueError as e:
            rendered, mode_error = None, ("renderer", str(e))
        if classic_error is None:
            counts["accepted"] += 1
            if mode_error is None and same(rendered, classic):
                counts["exact"] += 1
            elif mode_error is None:
                cause, detail = difference_cause(rendered, classic)
                not_exact[cause].append((sql, detail))
            elif mode_error[0] == "renderer":
                not_exact[f"no classic shape: {mode_error[1]}"].append((sql, ""))
            else:
                not_exact[f"classic mode rejects: expecting {mode_error[1].expecting}"].append((sql, ""))
            continue
        counts["rejected"] += 1
        if mode_error is not None and mode_error[0] == "grammar":
            counts["refused"] += 1
            if str(mode_error[1]) == str(classic_error):
                counts["same error"] += 1
        elif mode_error is not None:
            cause, variant = lacks_cause(mode_error[1])
            accepted[cause].append((sql, variant))
            classic_says[cause][classic_error.expecting] += 1
        else:
            cause, variant = classic_error_cause(sql, classic_error)
            accepted[cause].append((sql, variant))
    return counts, not_exact, accepted, classic_says


def report_classic_mode(texts, examples):
    counts, not_exact, accepted, classic_says = measure_classic_mode(texts)
    print(f"{len(texts)} distinct texts, parse() (classic mode + render) against the reference grammar")
    print(f"reference accepts {counts['accepted']}; classic mode accepts and renders exactly: "
          f"{counts['exact']} ({100.0 * counts['exact'] / max(counts['accepted'], 1):.1f}%)")
    print(f"reference rejects {counts['rejected']}; classic mode rejects too: {counts['refused']} "
          f"({100.0 * counts['refused'] / max(counts['rejected'], 1):.1f}%), "
          f"with the reference's exact error: {counts['same error']}")
    print_groups("Accepted texts the classic mode does not render exactly", not_exact, examples)
    print_groups("Texts the reference rejects and the classic mode accepts", accepted, examples,
                 classic_says)


def print_groups(title, groups, examples, classic_says=None):
    total = sum(len(v) for v in groups.values())
    print(f"\n{title}: {total} texts in {len(groups)} groups")
    for cause, rows in sorted(groups.items(), key=lambda kv: (-len(kv[1]), kv[0])):
        print(f"  {len(rows):5d}  {cause}")
        if classic_says and cause in classic_says:
            said = classic_says[cause].most_common(4)
            print("           classic error: " + "; ".join(f"expecting {x} ({n})" for x, n in said))
        variants = Counter(detail for _, detail in rows if detail)
        if variants and cause.endswith("..."):
            print("           variants: " + ", ".join(f"{v} ({n})" for v, n in variants.most_common(12)))
            rows = [(sql, "") for sql, _ in rows]
        for sql, detail in rows[:examples]:
            text = " ".join(sql.split())
            text = text if len(text) <= 110 else text[:107] + "..."
            print(f"           {text}")
            if detail:
                print(f"             {detail}")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--dialect", default="sqlite",
                    help="dialect of the statement grammar (sqlite reads [x] as a name, as the classic grammar does)")
    ap.add_argument("--examples", type=int, default=2, help="example texts per group")
    ap.add_argument("--shared", type=Path, default=DEFAULT_SHARED)
    ap.add_argument("--compare-dialects", action="store_true",
                    help="only print the match count under each dialect")
    ap.add_argument("--random", type=int, metavar="N",
                    help="measure N seeded random queries of the classic grammar instead of the shared texts")
    ap.add_argument("--mutations", type=int, metavar="N",
                    help="measure N cut and N spliced variants of each shared text instead")
    ap.add_argument("--glued", type=int, metavar="N",
                    help="measure N seeded texts of tokens written against each other instead")
    ap.add_argument("--classic-mode", action="store_true",
                    help="parse in the statement grammar's classic mode instead of --dialect")
    args = ap.parse_args(argv[1:])
    if args.random:
        texts = random_queries(args.random)
    elif args.glued:
        texts = glued_texts(args.glued)
    else:
        texts = list(load_texts(args.shared))
    if args.mutations:
        texts = mutated_texts(texts, args.mutations)

    if args.classic_mode:
        if REFERENCE is None:
            sys.exit("--classic-mode compares parse() with the classic reference grammar: "
                     "build with -DSQLPARSE_CLASSIC_REFERENCE=ON")
        report_classic_mode(texts, args.examples)
        return 0

    if args.compare_dialects:
        names = ["generic", "ansi", "bigquery", "snowflake", "hive", "spark", "databricks", "postgres",
                 "redshift", "duckdb", "tsql", "mysql", "trino", "athena", "clickhouse", "oracle",
                 "sqlite"]
        print(f"{'dialect':12s} {'match':>6s} {'of':>6s} {'only-new':>9s}")
        for name in names:
            accepted, matched, _, rejections, _, _ = measure(texts, name)
            only_new = sum(len(v) for v in rejections.values())
            print(f"{name:12s} {matched:6d} {accepted:6d} {only_new:9d}")
        return 0

    accepted, matched, groups, rejections, both_reject, classic_says = measure(texts, args.dialect)
    print(f"{len(texts)} distinct texts, dialect {args.dialect}")
    print(f"classic parser accepts {accepted}; rendered exactly: {matched} "
          f"({100.0 * matched / max(accepted, 1):.1f}%)")
    print_groups("Accepted texts that do not render exactly", groups, args.examples)
    print_groups("Texts the classic parser rejects and the statement grammar accepts", rejections,
                 args.examples, classic_says)
    print(f"\nboth reject: {both_reject}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
