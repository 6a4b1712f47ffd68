"""ScriptLineage.to_openlineage: the OpenLineage columnLineage dataset facet
per target table, checked by hand and against the OpenLineage client's own
facet classes (when the test extra `openlineage-python` is installed)."""

import pytest

from sqlparse_main import lineage


def _input(table, column, kind, subtype, namespace="default"):
    return {"namespace": namespace, "name": table, "field": column,
            "transformations": [{"type": kind, "subtype": subtype}]}


CASES = [
    ("insert into x select a, b + 1 as c from t", {}, {
        "x": {"fields": {
            "a": {"inputFields": [_input("t", "a", "DIRECT", "IDENTITY")]},
            "c": {"inputFields": [_input("t", "b", "DIRECT", "TRANSFORMATION")]},
        }},
    }),
    # indirect columns decide every output column
    ("create table y as select t.a, sum(u.b) as s from t join u on t.k = u.k "
     "where t.d > 0 group by t.a order by 1", {}, {
         "y": {"fields": {
             "a": {"inputFields": [
                 _input("t", "a", "DIRECT", "IDENTITY"),
                 _input("t", "k", "INDIRECT", "JOIN"), _input("u", "k", "INDIRECT", "JOIN"),
                 _input("t", "d", "INDIRECT", "FILTER"), _input("t", "a", "INDIRECT", "GROUP_BY"),
                 _input("t", "a", "INDIRECT", "SORT")]},
             "s": {"inputFields": [
                 _input("u", "b", "DIRECT", "AGGREGATION"),
                 _input("t", "k", "INDIRECT", "JOIN"), _input("u", "k", "INDIRECT", "JOIN"),
                 _input("t", "d", "INDIRECT", "FILTER"), _input("t", "a", "INDIRECT", "GROUP_BY"),
                 _input("t", "a", "INDIRECT", "SORT")]},
         }},
     }),
    ("insert into x select case when p > 0 then q end as v, "
     "row_number() over (partition by g order by h) as r from t", {"namespace": "pg://db"}, {
         "x": {"fields": {
             "v": {"inputFields": [_input("t", "q", "DIRECT", "TRANSFORMATION", "pg://db"),
                                   _input("t", "p", "INDIRECT", "CONDITIONAL", "pg://db")]},
             "r": {"inputFields": [_input("t", "g", "INDIRECT", "WINDOW", "pg://db"),
                                   _input("t", "h", "INDIRECT", "WINDOW", "pg://db")]},
         }},
     }),
    # no target, a statement that does not parse: nothing; two writes to one table add up
    ("select a from t; insert into x select a from t; insert into x (a) select b from u; "
     "insert into z select from", {}, {
         "x": {"fields": {"a": {"inputFields": [_input("t", "a", "DIRECT", "IDENTITY"),
                                                _input("u", "b", "DIRECT", "IDENTITY")]}}},
     }),
]


def _sorted(facets):
    return {t: {"fields": {c: {"inputFields": sorted(f["inputFields"], key=repr)}
                           for c, f in facet["fields"].items()}}
            for t, facet in facets.items()}


@pytest.mark.parametrize("sql, kw, want", CASES)
def test_facets_by_target(sql, kw, want):
    got = lineage(sql, errors="collect").to_openlineage(**kw)
    assert _sorted(got) == _sorted(want)


def test_namespace_must_be_text():
    with pytest.raises(TypeError, match="namespace"):
        lineage("insert into x select a from t").to_openlineage(namespace=1)


@pytest.mark.parametrize("sql, kw, want", CASES)
def test_client_facet_classes_take_the_facets(sql, kw, want):
    facets = pytest.importorskip("openlineage.client.facet_v2").column_lineage_dataset
    serde = pytest.importorskip("openlineage.client.serde")
    for target, facet in lineage(sql, errors="collect").to_openlineage(**kw).items():
        built = facets.ColumnLineageDatasetFacet(fields={
            name: facets.Fields(inputFields=[
                facets.InputField(
                    namespace=i["namespace"], name=i["name"], field=i["field"],
                    transformations=[facets.Transformation(**t) for t in i["transformations"]])
                for i in field["inputFields"]])
            for name, field in facet["fields"].items()})
        data = serde.Serde.to_dict(built)
        assert data["_schemaURL"].endswith("ColumnLineageDatasetFacet")
        assert data["fields"] == facet["fields"]
