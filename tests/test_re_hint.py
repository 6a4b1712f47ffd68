"""Comment stripping (`re_hint`): exact results, a pure-Python reference
compared on random texts, Unicode white space, and linear time on big texts."""

import os
import random
import re
import time

import pytest

import _sqlparse_core


def reference_re_hint(sql):
    """The three stages written as plainly as possible, character by character."""
    depth = 0
    prev = ""
    out = ""
    for c in sql:
        if prev + c == "/*":
            out = out.strip("/")
            depth += 1
        if depth == 0:
            out += c
        if prev + c == "*/":
            depth -= 1
        prev = c if c in ("/", "*") else ""
    out = re.sub(r"--.*\n?", "\n", out)
    return "\n".join(line for line in out.split("\n") if line.strip())


def _implementations():
    impls = [pytest.param(_sqlparse_core.re_hint, id="core")]
    try:
        from sqlparse_main import VarnelParseMain
    except ImportError:
        return impls
    if hasattr(VarnelParseMain, "_re_hint"):
        impls.append(pytest.param(VarnelParseMain._re_hint, id="VarnelParseMain._re_hint"))
    return impls


IMPLS = _implementations()

# (input, exact result)
DOCUMENTED = [
    ("SELECT /*+ MAPJOIN(b) */ a FROM t", "SELECT  a FROM t"),
    ("SELECT a /* x /* y */ z */ FROM t", "SELECT a  FROM t"),
    ("SELECT a FROM t /* unterminated", "SELECT a FROM t "),
    ("SELECT a -- note\nFROM t", "SELECT a \nFROM t"),
    ("SELECT a -- note /* x\nFROM t", "SELECT a "),
    ("SELECT 'a--b' FROM t", "SELECT 'a"),
    ("SELECT /* c */* FROM t", "SELECT "),
    ("SELECT a/b FROM t", "SELECT a/b FROM t"),
    ("x //* c */ y", "x  y"),
    ("/x /* c */ y", "x  y"),
    ("SELECT 2*/* c */3", "SELECT 2** c */"),
    ("/*/ x", " x"),
    ("\n\n  \nSELECT 1\n\n", "SELECT 1"),
    ("", ""),
    ("  SELECT a\n\t\n  FROM t  ", "  SELECT a\n  FROM t  "),
    ("SELECT a\r\n-- c\r\nFROM t", "SELECT a\r\nFROM t"),
    ("SELECT 1 -- c", "SELECT 1 "),
]

UNICODE_SPACES = (
    "\t\n\x0b\x0c\r\x1c\x1d\x1e\x1f \x85\xa0\u1680"
    + "".join(chr(c) for c in range(0x2000, 0x200B))
    + "\u2028\u2029\u202f\u205f\u3000"
)

HARDER = [
    # Every white-space character of str.strip() makes a line blank on its own.
    *[("a\n%s\nb" % ch, "a\nb") for ch in UNICODE_SPACES if ch != "\n"],
    # ... and all of them together.
    ("a\n" + UNICODE_SPACES.replace("\n", "") + "\nb", "a\nb"),
    # Characters that look like white space but are not: kept.
    ("a\n\u200b\nb", "a\n\u200b\nb"),  # zero-width space
    ("a\n\u180e\nb", "a\n\u180e\nb"),  # Mongolian vowel separator
    ("a\n\ufeff\nb", "a\n\ufeff\nb"),  # byte-order mark
    ("a\n\x00\nb", "a\n\x00\nb"),  # NUL is an ordinary character
    ("a\x00/*\x00*/b\x00", "a\x00b\x00"),
    # Kept lines keep their own Unicode white space at both ends.
    ("\u3000a\u00a0\n\u2003\n", "\u3000a\u00a0"),
    # Carriage returns: part of the line; a lone \r line is blank; the line
    # comment swallows the \r before its line feed.
    ("a\r\n\r\nb\r", "a\r\nb\r"),
    ("a\rb", "a\rb"),
    ("a -- c\r\rb\nd", "a \nd"),
    ("\r", ""),
    ("a --\r", "a "),
    # Line comments.
    ("--", ""),
    ("-", "-"),
    ("a-b", "a-b"),
    ("---\nx", "x"),
    ("a--b--c\nd--e\n", "a\nd"),
    ("a\n--x\n--y\nb", "a\nb"),
    ("-- only comment\n", ""),
    ("a - - b", "a - - b"),
    # Unbalanced markers.
    ("*/ x", "*/"),  # closes at depth 0: appended, depth -1, rest dropped
    # "/*" back to depth 0: the strip eats the "/" of "*/", its "*" is kept.
    ("a */ b /* c", "a ** c"),
    ("a */ b /* c */ d", "a ** c */"),
    ("*/*/x", "**/"),
    ("a */ */ b /* /* c", "a ** c"),
    ("a */ b /* c /* d", "a ** c "),
    ("/*", ""),
    ("/* a", ""),
    ("a /* b", "a "),
    ("a /* b */ c */ d /* e */ f", "a  c ** e */"),
    # Overlapping markers.
    ("/*/", ""),
    ("a/*/b", "ab"),
    ("a/*/b*/c", "ab*/"),
    ("a */*b*/ c", "a **b*/"),
    ("a/**/b", "ab"),
    ("a/***/b", "ab"),
    ("a/*/*/b", "ab"),
    ("a/*/*/*/b", "ab"),
    ("a/*/*/*/*/b", "ab"),
    # The strip removes every slash at both ends of the output.
    ("///a///b///* c */ d", "a///b d"),
    ("////* c */x", "x"),
    ("/ /* c */ /", "  /"),
    ("//a//*x*///*y*/z", "az"),
    ("a//*", "a"),
    # Nested comments and depth.
    ("a /* /* /* x */ */ */ b", "a  b"),
    ("a /* /* x */ b", "a "),
    ("x /*/ y */ z", "x  y */"),  # "/*/" is a whole comment
    # A block comment opened inside a line comment runs to the end.
    ("a -- /* \n b \n c", "a "),
    # Block comments spanning lines leave blank lines, which go.
    ("a\n/* x\n\n y */\nb", "a\nb"),
    ("a/*\n*/\n \n-- c\n\nb", "a\nb"),
    # Lone surrogates are ordinary characters.
    ("\ud800", "\ud800"),
    ("\udfff -- c\n\ud800/* x */\udc00", "\udfff \n\ud800\udc00"),
    ("\ud800\n \n\udbff", "\ud800\n\udbff"),
    ("a\n\ud800\u3000\nb", "a\n\ud800\u3000\nb"),
    # Non-ASCII text around markers.
    ("é/* ü */ö-- ß\nñ", "éö\nñ"),
    ("日本/*語*/", "日本"),
    ("😀/*😀*/😀", "😀😀"),
]


@pytest.mark.parametrize("impl", IMPLS)
@pytest.mark.parametrize("sql,expected", DOCUMENTED)
def test_documented_results(impl, sql, expected):
    assert impl(sql) == expected


@pytest.mark.parametrize("impl", IMPLS)
@pytest.mark.parametrize("sql,expected", HARDER)
def test_harder_cases(impl, sql, expected):
    assert impl(sql) == expected


@pytest.mark.parametrize("sql,expected", DOCUMENTED + HARDER)
def test_reference_agrees_with_tables(sql, expected):
    # Guards the reference itself: it is the oracle of the random test below.
    assert reference_re_hint(sql) == expected


def test_keyword_argument():
    assert _sqlparse_core.re_hint(sql="a -- b\n\nc") == "a \nc"


@pytest.mark.parametrize("bad", [None, 1, 1.5, b"select", ["a"], object()])
def test_non_str_raises_type_error(bad):
    with pytest.raises(TypeError, match="expected str, got " + type(bad).__name__):
        _sqlparse_core.re_hint(bad)


def test_str_subclass_is_text():
    class Sql(str):
        pass

    out = _sqlparse_core.re_hint(Sql("a /* b */ c"))
    assert out == "a  c" and type(out) is str


def _assert_clean(out):
    assert not out.endswith("\n")
    for line in out.split("\n") if out else []:
        assert line.strip() != ""


RANDOM_ALPHABET = "/*-\n\r \t\u00a0ab'"
WIDE_ALPHABET = RANDOM_ALPHABET + "\u3000\u2028\x85\x1c\x00\ud800\udfffé😀"


@pytest.mark.parametrize("alphabet,seed", [(RANDOM_ALPHABET, 1), (RANDOM_ALPHABET, 2), (WIDE_ALPHABET, 3)])
def test_random_texts_match_reference(alphabet, seed):
    rng = random.Random(seed)
    for _ in range(4000):
        sql = "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 48)))
        got = _sqlparse_core.re_hint(sql)
        assert got == reference_re_hint(sql), repr(sql)
        _assert_clean(got)


def test_random_marker_heavy_texts_match_reference():
    rng = random.Random(7)
    pieces = ["/*", "*/", "/", "*", "--", "\n", "\r\n", " ", "x", "/*/", "*/*", "\u3000\n"]
    for _ in range(3000):
        sql = "".join(rng.choice(pieces) for _ in range(rng.randrange(0, 30)))
        got = _sqlparse_core.re_hint(sql)
        assert got == reference_re_hint(sql), repr(sql)
        _assert_clean(got)


def test_idempotent_on_clean_text():
    rng = random.Random(11)
    for _ in range(2000):
        sql = "".join(rng.choice(RANDOM_ALPHABET) for _ in range(rng.randrange(0, 40)))
        once = _sqlparse_core.re_hint(sql)
        if "/*" not in once and "*/" not in once and "--" not in once:
            assert _sqlparse_core.re_hint(once) == once


def _big_mixed_text(target_bytes):
    unit = (
        "SELECT a, /*+ HINT(x) */ b -- trailing note\n"
        "  FROM db.t /* nested /* block */ still */ WHERE c = 'x--y'\n"
        "\n  \t \n"
        "/*/ odd */ -- another\r\n"
    )
    return unit * (target_bytes // len(unit) + 1)


def test_long_inputs_match_reference():
    sql = _big_mixed_text(200_000)
    assert _sqlparse_core.re_hint(sql) == reference_re_hint(sql)


def test_long_comment_free_text_is_unchanged():
    sql = "\n".join("SELECT a%d, b FROM db.t%d WHERE x = 'y'" % (i, i) for i in range(100_000))
    assert _sqlparse_core.re_hint(sql) == sql


def test_long_runs_of_markers():
    n = 1_000_000
    assert _sqlparse_core.re_hint("/" * n) == "/" * n
    assert _sqlparse_core.re_hint("*" * n) == "*" * n
    assert _sqlparse_core.re_hint("/*" * n) == ""
    assert _sqlparse_core.re_hint("*/" * n) == "*" * n + "/"
    assert _sqlparse_core.re_hint("-" * n) == ""
    assert _sqlparse_core.re_hint("\n" * n) == ""
    assert _sqlparse_core.re_hint("a" + "/" * n + "/*") == "a"
    # Every "/*" strips the slashes at both ends; with a long output that must
    # not rescan it (this input would be quadratic then).
    assert _sqlparse_core.re_hint(("a" * 100 + "/* */") * 10_000) == "a" * 1_000_000


# A sanitizer build is many times slower; the timing bound is for real builds.
SLOW_BUILD = bool(os.environ.get("SQLPARSE_SANITIZED"))


@pytest.mark.skipif(SLOW_BUILD, reason="timing is meaningless under sanitizers")
def test_ten_megabytes_with_many_comments_is_fast():
    sql = _big_mixed_text(10_000_000)
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        out = _sqlparse_core.re_hint(sql)
        best = min(best, time.perf_counter() - start)
    assert "/*" not in out and "--" not in out.replace("'x--y'", "")
    assert best < 0.5, best


@pytest.mark.skipif(SLOW_BUILD, reason="timing is meaningless under sanitizers")
def test_slash_strip_is_not_quadratic():
    # Each "/*" strips both ends of a growing output that is mostly slashes
    # inside: a rescanning strip would take minutes here.
    sql = ("/a/" + "b" * 50 + "/*c*/") * 200_000
    start = time.perf_counter()
    out = _sqlparse_core.re_hint(sql)
    assert time.perf_counter() - start < 0.5
    b = "b" * 50
    assert reference_re_hint(("/a/" + b + "/*c*/") * 3) == "a/" + b + ("/a/" + b) * 2
    assert out == "a/" + b + ("/a/" + b) * 199_999
