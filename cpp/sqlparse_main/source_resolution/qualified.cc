// Qualified source resolution: a column written with a qualifier (its
// record's `master`, the alias before the dot) is traced to the FROM entry
// that bears that alias. A plain table behind the alias is the column's
// source; a sub-query behind it is analysed one level deeper and its findings
// are carried up. Every alias match is handled (no early exit), and the
// record is looked up again at every use, because a re-dispatch in the
// middle of the walk may change it.
#include "sqlparse_main/analyze/analyze.h"

namespace sqlparse {

void Analyze::master_from_value(const Node& tree, const std::string& column, int level) {
  // all_from_name is not replaced while the FROM clause is resolved; its
  // length is read again anyway, like every other piece of state. Between
  // two aliases equal to the master nothing changes, so the walk jumps from
  // one to the next (the record is still looked up before each jump).
  for (std::size_t i = 0; i < var_->all_from_name.size(); ++i) {
    const FromNameList& from_names = var_->all_from_name;
    i = from_names.next_equal(i, record(column, "master").master);
    if (i >= from_names.size()) break;

    std::optional<Node> y = one_search_other(tree, from_names.full_path(i), "name", "value");
    if (y && y->is_string()) {
      // A table name: the column's source.
      record_table_source(column, *y);
    } else if (y && y->is_map()) {
      // A sub-query: analysed one level deeper, in an analyser of its own.
      std::shared_ptr<AnalysisState> ana = sub_analysis(*y, level + 1);
      const Node v = record(column, "value").value;
      const Node n = record(column, "name").name;
      if (const ColumnRecord* star = ana->result.get("*")) {
        // The sub-query selects a star: the column comes from the star's
        // table, or is resolved again under the star's qualifier.
        record(column, "master").master = star->master;
        if (truthy(star->get_table())) {
          const Node t = star->get_table();
          ColumnRecord& r = record(column, "table");
          r.table = t;
          r.table_column = v;
          var_->sqls.push_back(LineageTriple{t, v, n});
        }
        analyze_from_value_master(tree, column, level);
      } else if (const ColumnRecord* named = v.is_string() ? ana->result.get(v.as_string())
                                                           : nullptr) {
        // The sub-query has an output column of that name (a key that is not
        // text finds nothing).
        record(column, "master").master = named->master;
        if (truthy(named->get_table())) {
          ColumnRecord& r = record(column, "table");
          r.table = named->get_table();
          r.table_column = named->table_column ? *named->table_column : Node();
          // The sub-query's triples whose output name equals v, in order
          // (v is text here, and text equals only text).
          for (std::size_t at : ana->triples_with_target(v.as_string())) {
            const LineageTriple& e = ana->sqls[at];
            var_->sqls.push_back(LineageTriple{e.table, e.src, n});
          }
        }
        analyze_from_value_master(tree, column, level);
      }
    } else {
      // Neither a table name nor a sub-query (a list, a number, nothing).
      Node found = y ? *y : Node();
      throw AnalysisError::unsupported_from_shape(Node::string(column), found,
                                                  {Node::string(column), found});
    }
  }
}

}  // namespace sqlparse
