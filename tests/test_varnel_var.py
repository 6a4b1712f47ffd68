import pickle

import pytest

from varnel_var import VarnelVar


def test_fields_by_keyword_and_get():
    r = VarnelVar(database="db", table="t", src="a", tgt="x")
    assert (r.database, r.table, r.src, r.tgt) == ("db", "t", "a", "x")
    assert r.get("table") == "t"
    assert r.get("missing") is None
    with pytest.raises(AttributeError):
        r.missing
    with pytest.raises(TypeError):
        VarnelVar("positional")


def test_add_sets_and_replaces_fields():
    r = VarnelVar(sqls=[])
    r.add(all_select_value=[1], all_from=[2])
    r.add(all_from=[3])
    assert r.to_dict() == {"sqls": [], "all_select_value": [1], "all_from": [3]}


def test_repr_equality_and_pickle():
    r = VarnelVar(database=None, table="t", src="a", tgt="x")
    assert repr(r) == "VarnelVar(database=None, table='t', src='a', tgt='x')"
    assert r == VarnelVar(database=None, table="t", src="a", tgt="x")
    assert r != VarnelVar(database=None, table="t", src="a", tgt="y")
    assert pickle.loads(pickle.dumps(r)) == r
    with pytest.raises(TypeError):
        hash(r)


def test_to_dict_is_a_copy():
    r = VarnelVar(a=1)
    d = r.to_dict()
    d["a"] = 2
    assert r.a == 1
