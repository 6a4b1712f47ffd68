// The printer's class, shared by printer.cc (types, expressions) and
// printer_statements.cc (queries, FROM, statements). Not a public header:
// print_sql() in parser.h is the interface.
#pragma once

#include <string>
#include <string_view>

#include "syntax/ast.h"
#include "syntax/to_tree.h"
#include "tree/stack_limit.h"

namespace sqlparse::syntax::printing {

inline bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

class Printer {
 public:
  std::string take() { return std::move(out_); }

  void statement(const Statement& s);

 private:
  // ---- tokens ----
  // A token, one space after the previous one (none after an opening
  // bracket, but "{ {" stays apart: "{{" is a template variable).
  void put(std::string_view t) {
    if (t.empty()) return;
    if (!out_.empty() && !tight_) {
      char last = out_.back();
      bool open = last == '(' || last == '[' || (last == '{' && t[0] != '{');
      if (!open && last != ' ') out_ += ' ';
    }
    tight_ = false;
    out_ += t;
  }
  // Words kept in lower case by the tree, written as upper-case keywords.
  void kw(std::string_view words) {
    if (words.empty()) return;
    std::string up(words);
    for (char& c : up) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    put(up);
  }
  // An operator: a word operator is a keyword, a symbol is written as is.
  void op(std::string_view o) {
    if (!o.empty() && is_word_char(o[0])) {
      kw(o);
    } else {
      put(o);
    }
  }
  // Appended with no space: ")", ",", "]", "." and a call's "(".
  void glue(std::string_view t) {
    out_ += t;
    tight_ = false;
  }
  void comma() { glue(","); }
  // The items, one `each` call per item, separated by commas.
  template <class Items, class F>
  void comma_list(const Items& items, F&& each) {
    bool first = true;
    for (const auto& item : items) {
      if (!first) comma();
      each(item);
      first = false;
    }
  }

  // ---- recursion guard ----
  // The grammar bounds nesting, so the depth here is bounded too; a thread
  // with a small stack still stops with an error rather than overflowing.
  struct Guard {
    explicit Guard(Printer&) {
      if (stack_exhausted()) throw TreeTooDeep("syntax tree too deep to print on this thread's stack");
    }
  };

  // ---- names and types ----
  void ident(const Ident& id) { put(id.text.empty() ? id.value : id.text); }
  static bool empty(const Ident& id) { return id.text.empty() && id.value.empty() && id.quote == 0; }
  void name(const Name& n) {
    bool first = true;
    for (const Ident& part : n.parts) {
      if (first) {
        ident(part);
      } else {
        glue(".");
        glue(part.text.empty() ? part.value : part.text);
      }
      first = false;
    }
  }
  void idents(const List<Ident>& ids) {
    comma_list(ids, [&](const Ident& id) { ident(id); });
  }
  void ident_list(const List<Ident>& ids) {
    put("(");
    idents(ids);
    glue(")");
  }
  void type(const TypeName* t);

  // ---- expressions ----
  void expr(const Expr* e);
  void exprs(const List<Expr*>& items) {
    comma_list(items, [&](const Expr* e) { expr(e); });
  }
  void paren_exprs(const List<Expr*>& items) {
    put("(");
    exprs(items);
    glue(")");
  }
  void function(const Function& f);
  void order_items(const List<OrderItem>& items);
  void window_spec(const WindowSpec& w);
  void frame(const WindowFrame& f);

  // ---- queries ----
  void query(const Query* q);
  void paren_query(const Query* q) {
    put("(");
    query(q);
    glue(")");
  }
  void with(const With& w);
  void body(const QueryBody* b);
  void select(const Select& s);
  void select_items(const List<SelectItem>& items);
  void select_item(const SelectItem& item);
  void values(const Values& v);
  void query_tail(const Query& q);
  void pipe(const PipeOp& p);

  // ---- FROM ----
  void tables(const List<TableRef*>& items) {
    comma_list(items, [&](const TableRef* t) { table(t); });
  }
  void table(const TableRef* t);
  void table_body(const TableRef& t);
  void alias(const Alias* a);
  void pivot(const Pivot& p, bool unpivot);

  // ---- statements ----
  void insert(const Insert& s);
  void create_table_as(const CreateTableAs& s);
  void create_view(const CreateView& s);
  void column_defs(const List<ColumnDef>& cols);
  void merge(const Merge& s);
  void merge_clause(const MergeClause& c);
  void assignments(const List<Assignment>& set);
  void update(const Update& s);
  void delete_statement(const Delete& s);
  void pivot_statement(const Pivot& p);
  void script_transform(const ScriptTransform& t);
  void returning(const Returning* r);
  void other(const Other& s);

  std::string out_;
  bool tight_ = false;  // the next token follows without a space
};

}  // namespace sqlparse::syntax::printing
