// The Python binding of the C++ core: the only file that includes nanobind.
//
// It builds the private top-level module `_sqlparse_core`, which the three
// Python packages (sqlparse_main, varnel_var, sql_parser) import. The module
// converts between Python objects and `Node` trees, releases the GIL while the
// core works, and turns core errors into the Python exception classes defined
// in the packages (imported lazily when an error is raised, so that importing
// the extension never imports a package and no import cycle can form).
#include <nanobind/nanobind.h>
#if PY_VERSION_HEX < 0x030C0000
#include <structmember.h>  // T_OBJECT_EX
#endif
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include <memory>
#include <optional>

#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <initializer_list>
#include <limits>
#include <unordered_set>
#include <string>
#include <vector>

#include "tree/node.h"
#include "tree/stack_limit.h"
#include "sqlparse_main/front_end/pipeline.h"
#include "sqlparse_main/front_end/batch.h"
#include "sqlparse_main/front_end/statement_split.h"
#include "sql_parser/parser.h"
#ifdef SQLPARSE_CLASSIC_REFERENCE
#include "sql_parser/reference/reference_parser.h"
#endif
#include "sql_parser/render/classic_render.h"
#include "syntax/parser.h"
#include "syntax/to_tree.h"
#include "lineage/batch.h"
#include "lineage/lineage.h"
#include "lineage_view/layout.h"
#include "lineage_view/model.h"
#include "lineage_view/page.h"
#include "arrow_edges/edges.h"
#include "sqlparse_main/front_end/re_hint.h"
#include "sqlparse_main/analyze/analyze.h"
#include "sqlparse_main/analyze/normalize.h"
#include "sqlparse_main/analyze/path_query.h"

namespace nb = nanobind;
using sqlparse::Kind;
using sqlparse::List;
using sqlparse::Map;
using sqlparse::Node;

namespace {

// ==== CONVERSION (Python objects <-> Node) ====================================

// Text of a Python str as UTF-8; lone surrogates pass through as their 3-byte
// encoding so that any str converts and converts back unchanged.
std::string utf8_of(PyObject* s) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(s, &size);
  if (data != nullptr) return std::string(data, static_cast<std::size_t>(size));
  PyErr_Clear();
  PyObject* bytes = PyUnicode_AsEncodedString(s, "utf-8", "surrogatepass");
  if (bytes == nullptr) throw nb::python_error();
  std::string out(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  return out;
}

nb::object str_of_utf8(std::string_view s) {
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogatepass");
  if (o == nullptr) throw nb::python_error();
  return nb::steal(o);
}

// The text that json.dumps writes for a float (repr, NaN, Infinity, -Infinity).
std::string json_float_text(PyObject* f) {
  double d = PyFloat_AS_DOUBLE(f);
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  PyObject* r = PyFloat_Type.tp_repr(f);  // float.__repr__, as json does for float subclasses
  if (r == nullptr) throw nb::python_error();
  std::string out = utf8_of(r);
  Py_DECREF(r);
  return out;
}

std::string json_int_text(PyObject* i) {
  PyObject* r = PyLong_Type.tp_repr(i);  // int.__repr__, as json does for int subclasses
  if (r == nullptr) throw nb::python_error();
  std::string out = utf8_of(r);
  Py_DECREF(r);
  return out;
}

[[noreturn]] void raise_type_error(const std::string& msg) {
  PyErr_SetString(PyExc_TypeError, msg.c_str());
  throw nb::python_error();
}

std::string type_name_of(PyObject* o) { return Py_TYPE(o)->tp_name; }

// Map keys that are not strings become the text json.dumps gives them.
std::string key_text(PyObject* key) {
  if (PyUnicode_Check(key)) return utf8_of(key);
  if (key == Py_True) return "true";
  if (key == Py_False) return "false";
  if (key == Py_None) return "null";
  if (PyLong_Check(key)) return json_int_text(key);
  if (PyFloat_Check(key)) return json_float_text(key);
  raise_type_error("keys must be str, int, float, bool or None, not " + type_name_of(key));
}

class PyToNode {
 public:
  Node convert(PyObject* o) {
    if (o == Py_None) return Node();
    if (o == Py_True) return Node::boolean(true);
    if (o == Py_False) return Node::boolean(false);
    if (PyUnicode_Check(o)) return Node::string(utf8_of(o));
    if (PyLong_Check(o)) {
      int overflow = 0;
      long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
      if (overflow == 0) {
        if (v == -1 && PyErr_Occurred()) throw nb::python_error();
        return Node::integer(v);
      }
      return Node::integer_from_text(json_int_text(o));
    }
    if (PyFloat_Check(o)) return Node::number(PyFloat_AS_DOUBLE(o));
    if (PyList_Check(o) || PyTuple_Check(o) || PyDict_Check(o)) return convert_container(o);
    raise_type_error("Object of type " + type_name_of(o) + " is not JSON serializable");
  }

 private:
  Node convert_container(PyObject* o) {
    // Containers on the current path: meeting one again is a cycle, as json
    // reports it. The depth bound and the stack check keep the recursion safe
    // on any thread.
    if (!open_.insert(o).second) {
      PyErr_SetString(PyExc_ValueError, "Circular reference detected");
      throw nb::python_error();
    }
    if (depth_ >= sqlparse::kMaxTreeDepth || sqlparse::stack_exhausted()) {
      open_.erase(o);
      PyErr_Format(PyExc_RecursionError, "tree nested deeper than %d levels",
                   depth_ >= sqlparse::kMaxTreeDepth ? sqlparse::kMaxTreeDepth : depth_);
      throw nb::python_error();
    }
    ++depth_;
    Node out;
    if (PyDict_Check(o)) {
      Map m;
      PyObject *key, *value;
      Py_ssize_t pos = 0;
      while (PyDict_Next(o, &pos, &key, &value)) {
        // set(): a key that repeats after conversion keeps the first position
        // and the later value, as a JSON round trip does.
        m.set(key_text(key), convert(value));
      }
      out = Node::map(std::move(m));
    } else {
      nb::object seq = nb::steal(PySequence_Fast(o, "expected a sequence"));
      if (!seq.is_valid()) throw nb::python_error();
      Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
      List items;
      items.reserve(static_cast<std::size_t>(n));
      for (Py_ssize_t i = 0; i < n; ++i) {
        items.push_back(convert(PySequence_Fast_GET_ITEM(seq.ptr(), i)));
      }
      out = Node::list(std::move(items));
    }
    --depth_;
    open_.erase(o);
    return out;
  }

  std::unordered_set<PyObject*> open_;
  int depth_ = 0;
};

Node node_from_py(nb::handle o) { return PyToNode().convert(o.ptr()); }

nb::object py_from_node(const Node& n, int depth = 0) {
  if (depth > sqlparse::kMaxTreeDepth || (n.is_container() && sqlparse::stack_exhausted())) {
    PyErr_SetString(PyExc_RecursionError, "tree too deep to convert");
    throw nb::python_error();
  }
  switch (n.kind()) {
    case Kind::kNull:
      return nb::none();
    case Kind::kBool:
      return nb::bool_(n.as_bool());
    case Kind::kInt:
      return nb::steal(PyLong_FromLongLong(n.as_int()));
    case Kind::kBigInt: {
      PyObject* o = PyLong_FromString(n.as_big_int().c_str(), nullptr, 10);
      if (o == nullptr) throw nb::python_error();
      return nb::steal(o);
    }
    case Kind::kFloat:
      return nb::steal(PyFloat_FromDouble(n.as_float()));
    case Kind::kString:
      return str_of_utf8(n.as_string());
    case Kind::kList: {
      const List& items = n.as_list();
      PyObject* l = PyList_New(static_cast<Py_ssize_t>(items.size()));
      if (l == nullptr) throw nb::python_error();
      nb::object out = nb::steal(l);
      for (std::size_t i = 0; i < items.size(); ++i) {
        PyList_SET_ITEM(l, static_cast<Py_ssize_t>(i), py_from_node(items[i], depth + 1).release().ptr());
      }
      return out;
    }
    case Kind::kMap: {
      nb::dict d;
      for (const auto& [key, value] : n.as_map()) {
        if (PyDict_SetItem(d.ptr(), str_of_utf8(key).ptr(), py_from_node(value, depth + 1).ptr()) != 0) {
          throw nb::python_error();
        }
      }
      return d;
    }
  }
  return nb::none();
}

// Lazily imported Python exception class, e.g. ("sql_parser.errors", "ParseError").
[[maybe_unused]] nb::object python_class(const char* module, const char* name) {
  return nb::module_::import_(module).attr(name);
}

// Sets the Python exception built by `make` (which may itself fail, and then
// its own error is the one set).
template <typename Make>
void set_error_object(Make&& make) {
  try {
    nb::object exc = make();
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
  } catch (nb::python_error& err) {
    err.restore();
  }
}

// ==== TREE (tests and tools: conversion round trip, normalisation) ==============

void bind_tree(nb::module_& m) {
  m.def(
      "_roundtrip", [](nb::handle o) { return py_from_node(node_from_py(o)); }, nb::arg("obj"),
      "Converts a Python object to the core tree and back (for tests).");
  m.def(
      "_to_json", [](nb::handle o) { return sqlparse::to_json(node_from_py(o)); }, nb::arg("obj"),
      "Compact JSON text of the core tree of a Python object (for tests).");
}

// ==== PARSER ===================================================================

// UTF-8 view of a str argument: the str's cached buffer when it has one (it
// lives as long as the argument), else a copy with lone surrogates kept.
std::string_view utf8_view_of(nb::handle text, std::string& copy) {
  if (!PyUnicode_Check(text.ptr())) {
    raise_type_error("expected str, got " + type_name_of(text.ptr()));
  }
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size)) {
    return std::string_view(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  copy = utf8_of(text.ptr());
  return copy;
}

// parse(text): the parse tree as plain Python data; parsing runs with the GIL
// released.
nb::object parse_py(nb::handle text) {
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  Node tree;
  {
    nb::gil_scoped_release release;
    tree = sqlparse::sql_parser::parse(sql);
  }
  return py_from_node(tree);
}

// _parse_tree_only(text): parses to the C++ tree only and returns its node
// count, so that a benchmark measures the parser without the conversion.
std::size_t parse_tree_only_py(nb::handle text) {
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  nb::gil_scoped_release release;
  Node tree = sqlparse::sql_parser::parse(sql);
  return sqlparse::sql_parser::count_nodes(tree);
}

// The sql_parser.ParseError object for a C++ ParseError.
nb::object parse_error_object(const sqlparse::sql_parser::ParseError& e) {
  nb::object cls = python_class("sql_parser.errors", "ParseError");
  return cls(str_of_utf8(e.message), e.line, e.column, e.offset, str_of_utf8(e.expecting),
             str_of_utf8(e.found));
}

// A C++ ParseError, wherever it escapes, becomes sql_parser.ParseError.
void translate_parse_error(const std::exception_ptr& p, void*) {
  try {
    std::rethrow_exception(p);
  } catch (const sqlparse::sql_parser::ParseError& e) {
    set_error_object([&] { return parse_error_object(e); });
  }
}

void bind_parser(nb::module_& m) {
  nb::register_exception_translator(&translate_parse_error);
  m.def("parse", &parse_py, nb::arg("text").none(), nb::sig("def parse(text: str) -> object"),
        "The parse tree of one SELECT statement as dicts, lists and scalars.");
  m.def("_parse_tree_only", &parse_tree_only_py, nb::arg("text").none(),
        nb::sig("def _parse_tree_only(text: str) -> int"),
        "Parses without building Python objects; returns the node count (for benchmarks).");
}

// ==== COMMENT STRIPPING =========================================================

// re_hint(sql): the text without block comments, hints, line comments and
// blank lines. The argument must be a str (lone surrogates included); the
// stripping runs with the GIL released.
nb::object re_hint_py(nb::handle sql) {
  if (!PyUnicode_Check(sql.ptr())) {
    raise_type_error("expected str, got " + type_name_of(sql.ptr()));
  }
  // The str's own cached UTF-8 buffer is read in place (it lives as long as
  // the argument, which the caller holds); only a text with lone surrogates,
  // which has no such buffer, is copied by utf8_of.
  std::string copy;
  std::string_view text;
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(sql.ptr(), &size)) {
    text = std::string_view(data, static_cast<std::size_t>(size));
  } else {
    PyErr_Clear();
    copy = utf8_of(sql.ptr());
    text = copy;
  }
  std::string clean;
  {
    nb::gil_scoped_release release;
    clean = sqlparse::re_hint(text);
  }
  return str_of_utf8(clean);
}

void bind_re_hint(nb::module_& m) {
  // .none(): None reaches re_hint_py, which raises the TypeError itself.
  m.def("re_hint", &re_hint_py, nb::arg("sql").none(), nb::sig("def re_hint(sql: str) -> str"),
        "The query text without block comments (hints included), line comments and blank lines.");
}

// ==== PATH QUERY AND NORMALISATION ==============================================

// Path matches as (value, full_path) tuples; the Python layer wraps them.
nb::object py_from_matches(const std::vector<sqlparse::PathMatch>& matches) {
  nb::list out;
  for (const sqlparse::PathMatch& match : matches) {
    out.append(nb::make_tuple(py_from_node(match.value), str_of_utf8(match.full_path)));
  }
  return out;
}

std::string path_text_of(nb::handle path) {
  if (!PyUnicode_Check(path.ptr())) {
    raise_type_error("path must be str, not " + type_name_of(path.ptr()));
  }
  return utf8_of(path.ptr());
}

// find(tree, path): every match as (value, full_path), in document order.
nb::object find_py(nb::handle tree, nb::handle path) {
  Node root = node_from_py(tree);
  sqlparse::CompiledPath compiled(path_text_of(path));
  std::vector<sqlparse::PathMatch> matches;
  {
    nb::gil_scoped_release release;
    matches = compiled.find(root);
  }
  return py_from_matches(matches);
}

// find_first(tree, path): the first match's node, or None.
nb::object find_first_py(nb::handle tree, nb::handle path) {
  Node root = node_from_py(tree);
  sqlparse::CompiledPath compiled(path_text_of(path));
  std::optional<Node> found;
  {
    nb::gil_scoped_release release;
    found = compiled.find_first(root);
  }
  return found ? py_from_node(*found) : nb::none();
}

nb::object normalize_py(nb::handle tree) {
  Node root = node_from_py(tree);
  Node out;
  {
    nb::gil_scoped_release release;
    out = sqlparse::normalize(root);
  }
  return py_from_node(out);
}

nb::object one_search_other_py(nb::handle tree, const std::string& full_path, const std::string& one,
                               const std::string& other) {
  Node root = node_from_py(tree);
  std::optional<Node> found;
  {
    nb::gil_scoped_release release;
    found = sqlparse::Analyze::one_search_other(root, full_path, one, other);
  }
  return found ? py_from_node(*found) : nb::none();
}

// _bench_find(tree, path, repeat): seconds for `repeat` evaluations of the
// path on the tree converted once, all in C++ (for benchmarks).
double bench_find_py(nb::handle tree, nb::handle path, int repeat) {
  Node root = node_from_py(tree);
  sqlparse::CompiledPath compiled(path_text_of(path));
  nb::gil_scoped_release release;
  const auto start = std::chrono::steady_clock::now();
  std::size_t total = 0;
  for (int i = 0; i < repeat; ++i) total += compiled.find_matches(root).size();
  const auto stop = std::chrono::steady_clock::now();
  if (total == static_cast<std::size_t>(-1)) return 0.0;  // keeps the loop
  return std::chrono::duration<double>(stop - start).count();
}

void bind_path_query(nb::module_& m) {
  m.def("_bench_find", &bench_find_py, nb::arg("tree").none(), nb::arg("path").none(),
        nb::arg("repeat"), nb::sig("def _bench_find(tree: object, path: str, repeat: int) -> float"),
        "Seconds for repeat evaluations of a path on a tree converted once (for benchmarks).");
  m.def("find", &find_py, nb::arg("tree").none(), nb::arg("path").none(),
        nb::sig("def find(tree: object, path: str) -> list[tuple[object, str]]"),
        "Every match of a path below tree as (value, full_path), in document order.");
  m.def("find_first", &find_first_py, nb::arg("tree").none(), nb::arg("path").none(),
        nb::sig("def find_first(tree: object, path: str) -> object"),
        "The node of the first match of a path below tree, or None.");
  m.def("normalize", &normalize_py, nb::arg("tree").none(),
        nb::sig("def normalize(tree: object) -> object"),
        "A copy of tree with every space in keys and strings replaced by '_'.");
  m.def("one_search_other", &one_search_other_py, nb::arg("tree").none(), nb::arg("full_path"),
        nb::arg("one"), nb::arg("other"),
        nb::sig("def one_search_other(tree: object, full_path: str, one: str, other: str) -> object"),
        "The node under `other` beside the node at full_path (found under `one`), or None.");
}

// ==== ANALYZE ====================================================================

// Python's str() of a converted node, as print() writes it.
std::string printed_text(const Node& n) {
  nb::object o = py_from_node(n);
  PyObject* s = PyObject_Str(o.ptr());
  if (s == nullptr) throw nb::python_error();
  std::string out = utf8_of(s);
  Py_DECREF(s);
  return out;
}

// The Python exception object for an analysis error: the host's own class for
// each kind, and sqlparse_main.errors.UnsupportedFromShape (a RuntimeError)
// with .column, .node and .line (the line that print() would write, without
// the newline) for the unsupported FROM shapes.
nb::object analysis_error_object(const sqlparse::AnalysisError& e) {
  using EK = sqlparse::AnalysisError::Kind;
  PyObject* builtin = nullptr;
  switch (e.kind()) {
    case EK::kTypeError: builtin = PyExc_TypeError; break;
    case EK::kAttributeError: builtin = PyExc_AttributeError; break;
    case EK::kKeyError: builtin = PyExc_KeyError; break;
    case EK::kValueError: builtin = PyExc_ValueError; break;
    case EK::kRecursionError: builtin = PyExc_RecursionError; break;
    case EK::kUnsupportedFromShape: {
      std::string line;
      for (std::size_t i = 0; i < e.shown().size(); ++i) {
        if (i != 0) line.push_back(' ');
        line += printed_text(e.shown()[i]);
      }
      nb::object cls = python_class("sqlparse_main.errors", "UnsupportedFromShape");
      return cls(py_from_node(e.column()), py_from_node(e.node()), str_of_utf8(line));
    }
  }
  if (builtin == nullptr) builtin = PyExc_RuntimeError;
  return nb::handle(builtin)(str_of_utf8(e.what()));
}

// An AnalysisError, wherever it escapes (the analyser, the path query, the
// pipeline), becomes its Python exception.
void translate_analysis_error(const std::exception_ptr& p, void*) {
  try {
    std::rethrow_exception(p);
  } catch (const sqlparse::AnalysisError& e) {
    set_error_object([&] { return analysis_error_object(e); });
  }
}

nb::object py_from_triples(const std::vector<sqlparse::LineageTriple>& triples) {
  nb::list out;
  for (const sqlparse::LineageTriple& t : triples) {
    out.append(nb::make_tuple(py_from_node(t.table), py_from_node(t.src), py_from_node(t.tgt)));
  }
  return out;
}

// The core analyser behind sqlparse_main.Analyze. It owns one C++ Analyze;
// analyze_sql runs with the GIL released, so a second thread that calls into
// the same object meanwhile is refused rather than let in.
class PyAnalyze {
 public:
  explicit PyAnalyze(Node tree) : core_(std::move(tree)) {}

  void set_tree(nb::handle tree) {
    Node node = node_from_py(tree);
    Busy busy(*this);
    core_.set_tree(std::move(node));
  }

  nb::object analyze_sql(int level) {
    std::vector<sqlparse::LineageTriple> triples;
    {
      Busy busy(*this);
      nb::gil_scoped_release release;
      triples = core_.analyze_sql(level);
    }
    return py_from_triples(triples);
  }

  nb::object tree() {
    Busy busy(*this);
    return py_from_node(core_.tree());
  }
  nb::object sqls() {
    Busy busy(*this);
    return py_from_triples(core_.var().sqls);
  }
  // (key, {field: value}) pairs in the order of `result`; fields that are
  // unset are left out.
  nb::object result() {
    Busy busy(*this);
    nb::list out;
    const sqlparse::ResultMap& result = core_.var().result;
    for (std::size_t slot = 0; slot < result.slot_count(); ++slot) {
      const std::string* key = result.key_at(slot);
      if (key == nullptr) continue;
      const sqlparse::ColumnRecord& r = *result.record_at(slot);
      nb::dict fields;
      fields["value"] = py_from_node(r.value);
      fields["name"] = py_from_node(r.name);
      fields["master"] = py_from_node(r.master);
      fields["path"] = str_of_utf8(r.path);
      if (r.table) fields["table"] = py_from_node(*r.table);
      if (r.table_column) fields["table_column"] = py_from_node(*r.table_column);
      out.append(nb::make_tuple(str_of_utf8(*key), fields));
    }
    return out;
  }
  nb::object all_select_value() {
    Busy busy(*this);
    return py_from_matches(core_.var().all_select_value.materialize());
  }
  nb::object all_from() {
    Busy busy(*this);
    return py_from_matches(core_.var().all_from.materialize());
  }
  nb::object all_from_name() {
    Busy busy(*this);
    return py_from_matches(core_.var().all_from_name.materialize());
  }
  nb::object one_replace_other(const std::string& full_path, const std::string& one,
                               const std::string& other) {
    Busy busy(*this);
    std::optional<Node> found = core_.one_replace_other(full_path, one, other);
    return found ? py_from_node(*found) : nb::none();
  }

 private:
  struct Busy {
    explicit Busy(PyAnalyze& owner) : owner_(owner) {
      if (owner_.busy_.exchange(true)) {
        PyErr_SetString(PyExc_RuntimeError, "this Analyze is in use by another thread");
        throw nb::python_error();
      }
    }
    ~Busy() { owner_.busy_.store(false); }
    PyAnalyze& owner_;
  };

  sqlparse::Analyze core_;
  std::atomic<bool> busy_{false};
};

// _bench_analyze(tree, repeat): seconds for `repeat` runs of a fresh analyser
// on the tree converted once, all in C++ (for benchmarks).
double bench_analyze_py(nb::handle tree, int repeat) {
  Node root = node_from_py(tree);
  nb::gil_scoped_release release;
  const auto start = std::chrono::steady_clock::now();
  std::size_t total = 0;
  for (int i = 0; i < repeat; ++i) total += sqlparse::Analyze(root).analyze_sql(0).size();
  const auto stop = std::chrono::steady_clock::now();
  if (total == static_cast<std::size_t>(-1)) return 0.0;  // keeps the loop
  return std::chrono::duration<double>(stop - start).count();
}

void bind_analyze(nb::module_& m) {
  nb::register_exception_translator(&translate_analysis_error);
  m.def("_bench_analyze", &bench_analyze_py, nb::arg("tree").none(), nb::arg("repeat"),
        nb::sig("def _bench_analyze(tree: object, repeat: int) -> float"),
        "Seconds for repeat analyses of a tree converted once (for benchmarks).");
  nb::class_<PyAnalyze>(m, "Analyze", "The C++ lineage analyser over one parse tree.")
      .def(
          "__init__",
          [](PyAnalyze* self, nb::handle tree) { new (self) PyAnalyze(node_from_py(tree)); },
          nb::arg("tree").none() = nb::none(), nb::sig("def __init__(self, tree: object = None) -> None"))
      .def("set_tree", &PyAnalyze::set_tree, nb::arg("tree").none(),
           nb::sig("def set_tree(self, tree: object) -> None"),
           "Replaces the tree; the next analyze_sql normalises it.")
      .def("analyze_sql", &PyAnalyze::analyze_sql, nb::arg("level") = 0,
           "Runs the analysis; returns the distinct triples of all runs so far.")
      .def_prop_ro("tree", &PyAnalyze::tree, nb::sig("def tree(self) -> object"))
      .def_prop_ro("sqls", &PyAnalyze::sqls, nb::sig("def sqls(self) -> list[tuple[object, object, object]]"))
      .def_prop_ro("result", &PyAnalyze::result, nb::sig("def result(self) -> list[tuple[str, dict[str, object]]]"))
      .def_prop_ro("all_select_value", &PyAnalyze::all_select_value,
                   nb::sig("def all_select_value(self) -> list[tuple[object, str]]"))
      .def_prop_ro("all_from", &PyAnalyze::all_from, nb::sig("def all_from(self) -> list[tuple[object, str]]"))
      .def_prop_ro("all_from_name", &PyAnalyze::all_from_name,
                   nb::sig("def all_from_name(self) -> list[tuple[object, str]]"))
      .def("one_replace_other", &PyAnalyze::one_replace_other, nb::arg("full_path"), nb::arg("one"),
           nb::arg("other"), nb::sig("def one_replace_other(self, full_path: str, one: str, other: str) -> object"),
           "The node at full_path up to its last `one`, plus `other`, in the analyser's tree.");
}

// ==== PIPELINE ====================================================================

// The pipeline is bound with the batch below, which shares its record builder.

// ==== BATCH AND STATEMENT SPLITTING ================================================

// split_statements(text): the statements of a text of several, as tuples
// (start, end, line, column, byte_start, byte_end): code-point offsets for
// slicing the str, the 1-based position of the first character, and the
// same span in bytes of the UTF-8 text.
nb::list split_statements_py(nb::handle text) {
  if (!PyUnicode_Check(text.ptr())) {
    raise_type_error("expected str, got " + type_name_of(text.ptr()));
  }
  std::string utf8 = utf8_of(text.ptr());
  std::vector<sqlparse::StatementSpan> spans;
  {
    nb::gil_scoped_release release;
    spans = sqlparse::split_statements(utf8);
  }
  nb::list out;
  for (const sqlparse::StatementSpan& s : spans) {
    out.append(nb::make_tuple(s.cp_begin, s.cp_end, s.line, s.column, s.begin, s.end));
  }
  return out;
}

// The Python exception object for a failed text of a batch: the object that
// the one-query binding raises for the same error. The core's own errors are
// built straight from their values; anything else is rethrown once and set as
// nanobind translates it.
nb::object exception_object_of(const sqlparse::BatchOutcome& outcome) {
  try {
    if (const auto* e = std::get_if<sqlparse::sql_parser::ParseError>(&outcome)) {
      return parse_error_object(*e);
    }
    if (const auto* e = std::get_if<sqlparse::AnalysisError>(&outcome)) {
      return analysis_error_object(*e);
    }
  } catch (nb::python_error& e) {
    return nb::borrow(e.value());  // building the error object failed
  }
  try {
    std::rethrow_exception(std::get<std::exception_ptr>(outcome));
  } catch (nb::python_error& e) {
    e.restore();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::out_of_range& e) {
    PyErr_SetString(PyExc_IndexError, e.what());
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown error in the lineage analysis");
  }
  nb::python_error fetched;  // takes the error set above, clearing it
  return nb::borrow(fetched.value());
}

// Field names of a result record, in the order the front end passes them:
// interned once and kept for the life of the process, as are the keyword tuple
// made of them and the empty argument tuple.
constexpr std::size_t kRecordFields = 4;

// A new reference that a static keeps for the life of the process; a failed
// creation raises its Python error.
PyObject* kept(PyObject* made) {
  if (made == nullptr) throw nb::python_error();
  return made;
}

PyObject* const* record_field_names() {
  // An initializer that throws leaves its static unset, to be tried again.
  static PyObject* const* names = [] {
    static PyObject* made[kRecordFields];
    const char* text[kRecordFields] = {"database", "table", "src", "tgt"};
    for (std::size_t i = 0; i < kRecordFields; ++i) {
      made[i] = kept(PyUnicode_InternFromString(text[i]));
    }
    return made;
  }();
  return names;
}

PyObject* record_keywords() {
  static PyObject* keywords = [] {
    PyObject* const* names = record_field_names();
    return kept(PyTuple_Pack(kRecordFields, names[0], names[1], names[2], names[3]));
  }();
  return keywords;
}

PyObject* empty_tuple() {
  static PyObject* empty = kept(PyTuple_New(0));
  return empty;
}

PyObject* dict_attribute_name() {
  static PyObject* name = kept(PyUnicode_InternFromString("__dict__"));
  return name;
}

// (database, table) of a triple's table, as the front end splits it: for a
// string the pieces up to the first and second "." (or None and the whole
// name), done here; any other value goes to the front end's `split_table`.
std::pair<nb::object, nb::object> split_table_of(const Node& name_node, nb::handle split_table) {
  if (!name_node.is_string()) {
    nb::object pair = split_table(py_from_node(name_node));
    return {pair[0], pair[1]};
  }
  std::string_view name = name_node.as_string();
  std::size_t first = name.find('.');
  if (first == std::string_view::npos) return {nb::none(), str_of_utf8(name)};
  std::string_view rest = name.substr(first + 1);
  return {str_of_utf8(name.substr(0, first)), str_of_utf8(rest.substr(0, rest.find('.')))};
}

// Python values of the fields of one query's records. The records of a query
// mostly share their table, and a column often keeps its name (src == tgt), so
// a string equal to the one just made is reused rather than made again: fewer
// objects, same values.
class RecordFieldMaker {
 public:
  explicit RecordFieldMaker(nb::handle split_table) : split_table_(split_table) {}

  std::pair<nb::object, nb::object> database_and_table(const Node& name) {
    const bool same = name.is_string() && last_table_.is_string() &&
                      name.as_string() == last_table_.as_string();
    if (!same) {
      last_split_ = split_table_of(name, split_table_);
      last_table_ = name;
    }
    return last_split_;
  }

  // src, then tgt: tgt reuses src's object when both are the same string.
  std::pair<nb::object, nb::object> src_and_tgt(const Node& src, const Node& tgt) {
    nb::object s = py_from_node(src);
    if (src.is_string() && tgt.is_string() && src.as_string() == tgt.as_string()) return {s, s};
    return {s, py_from_node(tgt)};
  }

 private:
  nb::handle split_table_;
  Node last_table_;  // null until the first record
  std::pair<nb::object, nb::object> last_split_;
};

// One record: record(database=, table=, src=, tgt=). When `plain` (the record
// class is the stock VarnelVar, whose constructor only makes its keyword dict
// the instance's __dict__), the same is done here on a bare instance: the same
// record, without a Python call.
nb::object make_record(nb::handle record, bool plain, PyObject* const (&fields)[kRecordFields]) {
  if (!plain) {
    // All four are keywords; the slot in front lets the callee prepend self.
    PyObject* args[kRecordFields + 1] = {nullptr, fields[0], fields[1], fields[2], fields[3]};
    PyObject* r = PyObject_Vectorcall(record.ptr(), args + 1, PY_VECTORCALL_ARGUMENTS_OFFSET,
                                      record_keywords());
    if (r == nullptr) throw nb::python_error();
    return nb::steal(r);
  }
  auto* type = reinterpret_cast<PyTypeObject*>(record.ptr());
  nb::object r = nb::steal(type->tp_new(type, empty_tuple(), nullptr));
  if (!r.is_valid()) throw nb::python_error();
  nb::object dict = nb::steal(PyDict_New());
  if (!dict.is_valid()) throw nb::python_error();
  PyObject* const* names = record_field_names();
  for (std::size_t i = 0; i < kRecordFields; ++i) {
    if (PyDict_SetItem(dict.ptr(), names[i], fields[i]) != 0) throw nb::python_error();
  }
  if (PyObject_SetAttr(r.ptr(), dict_attribute_name(), dict.ptr()) != 0) throw nb::python_error();
  return r;
}

// One result record per triple, as the front end builds it: `record` is the
// record class, `plain` says it is the stock VarnelVar (see make_record), and
// `split_table` the front end's (database, table) split for a table name that
// is not a string.
//
// The lists grow by appending: a record class may run Python code, which must
// never see a list with empty slots.
nb::object records_of(const std::vector<sqlparse::LineageTriple>& triples, nb::handle record,
                      bool plain, nb::handle split_table) {
  nb::list out;
  RecordFieldMaker maker(split_table);
  for (const sqlparse::LineageTriple& t : triples) {
    auto [database, table] = maker.database_and_table(t.table);
    auto [src, tgt] = maker.src_and_tgt(t.src, t.tgt);
    PyObject* const fields[kRecordFields] = {database.ptr(), table.ptr(), src.ptr(), tgt.ptr()};
    out.append(make_record(record, plain, fields));
  }
  return out;
}

// `plain` (see make_record) promises that `record` is a class; a caller that
// breaks the promise gets a TypeError, not a bad cast.
void check_plain_record(nb::handle record, bool plain) {
  if (plain && !PyType_Check(record.ptr())) {
    raise_type_error("a plain record must be a class, got " + type_name_of(record.ptr()));
  }
}

// lineage_records_of_text(sql, record, plain, split_table): the result records
// of one query, as the front end returns them: comment stripping, parsing and
// analysis in C++ with the GIL released, then one record per distinct triple
// built by records_of. Parser and analyser errors are raised as their
// translators make them.
nb::object lineage_records_of_text_py(nb::handle sql, nb::handle record, bool plain,
                                      nb::handle split_table) {
  check_plain_record(record, plain);
  std::string copy;
  std::string_view text = utf8_view_of(sql, copy);
  std::vector<sqlparse::LineageTriple> triples;
  {
    nb::gil_scoped_release release;
    triples = sqlparse::lineage_of_text(text);
  }
  return records_of(triples, record, plain, split_table);
}

// The texts of a batch as UTF-8 views for the workers. Its own list keeps
// every str alive (the caller's list may change while the GIL is released);
// a str with a lone surrogate has no UTF-8 of its own and is copied.
class BatchTexts {
 public:
  explicit BatchTexts(nb::handle texts) : list_(nb::steal(PySequence_List(texts.ptr()))) {
    if (!list_.is_valid()) throw nb::python_error();
    const Py_ssize_t n = PyList_GET_SIZE(list_.ptr());
    views_.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      std::string copy;
      std::string_view view = utf8_view_of(PyList_GET_ITEM(list_.ptr(), i), copy);
      if (!copy.empty()) view = copies_.emplace_back(std::move(copy));  // it was copied
      views_.push_back(view);
    }
  }
  const std::vector<std::string_view>& views() const { return views_; }

 private:
  nb::object list_;
  std::vector<std::string_view> views_;
  std::deque<std::string> copies_;
};

// A thread count as Python gives it: any int >= 0. One too big for size_t asks
// for the most there are (the batch bounds the count itself).
std::size_t thread_count_of(nb::handle threads) {
  if (!PyLong_Check(threads.ptr())) {
    raise_type_error("threads must be an int, not " + type_name_of(threads.ptr()));
  }
  const std::size_t n = PyLong_AsSize_t(threads.ptr());
  if (n != static_cast<std::size_t>(-1) || !PyErr_Occurred()) return n;
  nb::python_error overflow;  // takes the error: negative, or past size_t
  nb::object zero = nb::int_(0);
  if (PyObject_RichCompareBool(threads.ptr(), zero.ptr(), Py_GT) == 1) {
    return std::numeric_limits<std::size_t>::max();
  }
  throw overflow;
}

// lineage_of_texts(texts, threads, record, plain, split_table): for each text,
// in order, its list of records or the exception object its analysis raised
// (returned, never raised, and nothing printed).
nb::object lineage_of_texts_py(nb::handle texts, nb::handle threads, nb::handle record,
                               bool plain, nb::handle split_table) {
  check_plain_record(record, plain);
  const std::size_t thread_count = thread_count_of(threads);
  BatchTexts inputs(texts);
  // The workers start now and run without the GIL; this thread turns each
  // outcome into Python objects, in input order, while later texts are still
  // being analysed, and gives up the GIL only while it waits for one.
  sqlparse::BatchRun run(inputs.views(), thread_count);
  nb::list out;
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (!run.ready(i)) {
      nb::gil_scoped_release release;
      run.wait(i);
    }
    // Read in place, then released: the thread that made it frees it.
    const sqlparse::BatchOutcome& outcome = run.wait(i);
    if (!std::holds_alternative<std::vector<sqlparse::LineageTriple>>(outcome)) {
      out.append(exception_object_of(outcome));
    } else {
      try {
        out.append(records_of(std::get<std::vector<sqlparse::LineageTriple>>(outcome), record,
                              plain, split_table));
      } catch (nb::python_error& e) {
        // A failing record constructor fails that query only, as it would
        // fail its one _parse_sql call.
        out.append(nb::borrow(e.value()));
      }
    }
    run.release(i);
  }
  return out;
}

// _bench_lineage_of_texts(texts, threads): seconds for the C++ batch alone on
// the texts, with no Python objects built (for benchmarks: the ceiling of
// lineage_of_texts).
double bench_lineage_of_texts_py(nb::handle texts, nb::handle threads) {
  const std::size_t thread_count = thread_count_of(threads);
  BatchTexts inputs(texts);
  nb::gil_scoped_release release;
  const auto start = std::chrono::steady_clock::now();
  std::vector<sqlparse::BatchOutcome> outcomes =
      sqlparse::lineage_of_texts(inputs.views(), thread_count);
  const auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(stop - start).count();
}

void bind_batch(nb::module_& m) {
  m.def("lineage_records_of_text", &lineage_records_of_text_py, nb::arg("sql").none(),
        nb::arg("record"), nb::arg("plain"), nb::arg("split_table"),
        nb::sig("def lineage_records_of_text(sql: str, record: object, plain: bool, "
                "split_table: object) -> list[object]"),
        "The result records of one query text, computed in C++ and built with `record` "
        "(when `plain`, by giving a bare instance of the class the field dict as its __dict__).");
  m.def("split_statements", &split_statements_py, nb::arg("text").none(),
        nb::sig("def split_statements(text: str) -> list[tuple[int, int, int, int, int, int]]"),
        "The statements of a text split at \";\" outside strings, quoted names and comments: "
        "(start, end, line, column, byte_start, byte_end) for each, empty ones skipped.");
  m.def("lineage_of_texts", &lineage_of_texts_py, nb::arg("texts"), nb::arg("threads"),
        nb::arg("record"), nb::arg("plain"), nb::arg("split_table"),
        nb::sig("def lineage_of_texts(texts: list[str], threads: int, record: object, "
                "plain: bool, split_table: object) -> list[object]"),
        "For each text its lineage records, or the exception its analysis raised (returned, "
        "not raised); analysed on `threads` worker threads (0: all cores) without the GIL.");
  m.def("_bench_lineage_of_texts", &bench_lineage_of_texts_py, nb::arg("texts"), nb::arg("threads"),
        nb::sig("def _bench_lineage_of_texts(texts: list[str], threads: int) -> float"),
        "Seconds for the C++ batch alone on the texts, no Python objects built (for benchmarks).");
}


// ==== SYNTAX TREES: parse_script (typed syntax tree of a whole script) ============

// A parsed script and the character offsets of its statements, shared by the
// Python objects of its statements (each keeps the whole script alive).
struct ParsedScript {
  std::unique_ptr<sqlparse::syntax::Script> script;
  std::vector<std::size_t> char_begin;  // per statement
  std::vector<std::size_t> char_end;
};

// Character offsets of every statement's span in one pass over the text
// (statements come in text order).
void count_statement_chars(ParsedScript& p) {
  const std::string_view text = p.script->text;
  std::size_t byte = 0;
  std::size_t chars = 0;
  auto to = [&](std::size_t target) {
    if (target < byte) return sqlparse::syntax::char_offset(text, target);  // out of order
    for (; byte < target && byte < text.size(); ++byte) {
      chars += (static_cast<unsigned char>(text[byte]) & 0xC0) != 0x80;
    }
    return chars;
  };
  for (const sqlparse::syntax::ScriptStatement& st : p.script->statements) {
    p.char_begin.push_back(to(st.span.begin));
    p.char_end.push_back(to(st.span.end));
  }
}

[[noreturn]] void raise_recursion_error(const std::exception& e) {
  PyErr_SetString(PyExc_RecursionError, e.what());
  throw nb::python_error();
}

class PyStatement {
 public:
  PyStatement(std::shared_ptr<const ParsedScript> script, std::size_t index)
      : script_(std::move(script)), index_(index) {}

  std::string_view kind() const {
    return sqlparse::syntax::statement_kind_name(tree().kind);
  }
  std::size_t start() const { return script_->char_begin[index_]; }
  std::size_t end() const { return script_->char_end[index_]; }
  nb::object text() const {
    const sqlparse::syntax::Span span = entry().span;
    return str_of_utf8(std::string_view(script_->script->text).substr(span.begin, span.end - span.begin));
  }
  nb::object sql() const {
    std::string out;
    try {
      nb::gil_scoped_release release;
      out = sqlparse::syntax::print_sql(tree());
    } catch (const sqlparse::syntax::TreeTooDeep& e) {
      raise_recursion_error(e);
    }
    return str_of_utf8(out);
  }
  nb::object to_dict(bool spans) const {
    Node tree_node;
    try {
      nb::gil_scoped_release release;
      // The statement's counted start serves when its tree starts there too.
      const std::size_t char_begin =
          tree().span.begin == entry().span.begin ? start() : static_cast<std::size_t>(-1);
      tree_node = sqlparse::syntax::statement_to_tree(tree(), script_->script->text, spans, char_begin);
    } catch (const sqlparse::syntax::TreeTooDeep& e) {
      raise_recursion_error(e);
    }
    return py_from_node(tree_node);
  }
  std::string repr() const {
    return "<Statement " + std::string(kind()) + " " + std::to_string(start()) + ":" +
           std::to_string(end()) + ">";
  }

 private:
  const sqlparse::syntax::ScriptStatement& entry() const { return script_->script->statements[index_]; }
  const sqlparse::syntax::Statement& tree() const { return *entry().tree; }

  std::shared_ptr<const ParsedScript> script_;
  std::size_t index_;
};

sqlparse::syntax::Dialect dialect_of(const std::string& name) {
  std::optional<sqlparse::syntax::Dialect> d = sqlparse::syntax::dialect_by_name(name);
  if (!d) {
    throw nb::value_error(("unknown dialect '" + name + "'; expected one of: " +
                           std::string(sqlparse::syntax::dialect_names()))
                              .c_str());
  }
  return *d;
}

void check_script_size(std::string_view text) {
  if (text.size() >= sqlparse::syntax::kMaxScriptBytes) {
    throw nb::value_error(("text of " + std::to_string(text.size()) +
                           " bytes is too long to parse (the limit is 2 GiB)")
                              .c_str());
  }
}

// parse_script(text, dialect): one Statement object per statement; parsing
// and the offset count run with the GIL released.
nb::list parse_script_py(nb::handle text, const std::string& dialect_name) {
  const sqlparse::syntax::Dialect dialect = dialect_of(dialect_name);
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  check_script_size(sql);
  auto parsed = std::make_shared<ParsedScript>();
  {
    nb::gil_scoped_release release;
    parsed->script = sqlparse::syntax::parse_script(sql, dialect);
    count_statement_chars(*parsed);
  }
  std::shared_ptr<const ParsedScript> shared = parsed;
  nb::list out;
  for (std::size_t i = 0; i < shared->script->statements.size(); ++i) {
    out.append(nb::cast(PyStatement(shared, i)));
  }
  return out;
}

// _bench_parse_script(texts, dialect): parses every text in C++ with the GIL
// released and returns the number of statements (for benchmarks).
std::size_t bench_parse_script_py(nb::handle texts, const std::string& dialect_name) {
  const sqlparse::syntax::Dialect dialect = dialect_of(dialect_name);
  BatchTexts inputs(texts);
  for (std::string_view t : inputs.views()) check_script_size(t);
  nb::gil_scoped_release release;
  std::size_t statements = 0;
  for (std::string_view t : inputs.views()) {
    statements += sqlparse::syntax::parse_script(t, dialect)->statements.size();
  }
  return statements;
}

void bind_syntax(nb::module_& m) {
  nb::class_<PyStatement>(m, "Statement",
                          "One statement of a script parsed by parse_script: its typed syntax tree.")
      .def_prop_ro("kind", &PyStatement::kind,
                   "select, insert, create_table_as, create_view, merge, update, delete or other.")
      .def_prop_ro("start", &PyStatement::start,
                   "Character offset of the statement's first token in the text.")
      .def_prop_ro("end", &PyStatement::end,
                   "Character offset just after the statement's last token.")
      .def_prop_ro("text", &PyStatement::text, "The statement's source text, text[start:end].")
      .def("sql", &PyStatement::sql, "The statement written back as SQL from its tree.")
      .def("to_dict", &PyStatement::to_dict, nb::arg("spans") = true,
           "The syntax tree as dicts, lists and strings; spans in characters when `spans`.")
      .def("__repr__", &PyStatement::repr);
  m.def("parse_script", &parse_script_py, nb::arg("text").none(), nb::arg("dialect") = "generic",
        nb::sig("def parse_script(text: str, dialect: str = 'generic') -> list[Statement]"),
        "The statements of a SQL script, each with its typed syntax tree.");
  m.def("_bench_parse_script", &bench_parse_script_py, nb::arg("texts"), nb::arg("dialect"),
        nb::sig("def _bench_parse_script(texts: list[str], dialect: str) -> int"),
        "Parses each text in C++ without building Python objects; returns the statement count "
        "(for benchmarks).");
}
// ==== END SYNTAX TREES ==========================================================

// ==== CLASSIC RENDERING (measurement only; sql_parser.parse does not use it) ====

// _render_classic(text, dialect, classic_mode): the classic tree rendered from
// the typed syntax tree of a one-statement text. ParseError when the statement
// grammar rejects the text; ValueError naming the construct when the classic
// tree has no shape for it. classic_mode parses in the grammar's classic mode
// (the dialect is then ignored).
nb::object render_classic_py(nb::handle text, const std::string& dialect_name, bool classic_mode) {
  const sqlparse::syntax::Dialect dialect =
      classic_mode ? sqlparse::syntax::classic_dialect() : dialect_of(dialect_name);
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  check_script_size(sql);
  Node tree;
  std::string unsupported;
  {
    nb::gil_scoped_release release;
    std::unique_ptr<sqlparse::syntax::Script> script = sqlparse::syntax::parse_script(sql, dialect);
    if (script->statements.size() != 1) {
      unsupported = "not one statement";
    } else {
      try {
        tree = sqlparse::sql_parser::render_classic(*script->statements[0].tree, dialect);
      } catch (const sqlparse::sql_parser::RenderError& e) {
        unsupported = e.what();
      }
    }
  }
  if (!unsupported.empty()) throw nb::value_error(unsupported.c_str());
  return py_from_node(tree);
}

#ifdef SQLPARSE_CLASSIC_REFERENCE
// _classic_reference_parse(text): the classic grammar parse() read before it
// became a rendering of the typed tree; only in developer builds, as the
// reference the differential tests compare parse() with.
nb::object classic_reference_parse_py(nb::handle text) {
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  Node tree;
  {
    nb::gil_scoped_release release;
    tree = sqlparse::sql_parser::reference_parse(sql);
  }
  return py_from_node(tree);
}

// _classic_reference_tree_only(text): the same to the C++ tree only; the node count.
std::size_t classic_reference_tree_only_py(nb::handle text) {
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  nb::gil_scoped_release release;
  Node tree = sqlparse::sql_parser::reference_parse(sql);
  return sqlparse::sql_parser::count_nodes(tree);
}
#endif

void bind_classic_render(nb::module_& m) {
#ifdef SQLPARSE_CLASSIC_REFERENCE
  m.def("_classic_reference_parse", &classic_reference_parse_py, nb::arg("text").none(),
        nb::sig("def _classic_reference_parse(text: str) -> object"),
        "The classic grammar parse() read before it became a rendering (developer builds only).");
  m.def("_classic_reference_tree_only", &classic_reference_tree_only_py, nb::arg("text").none(),
        nb::sig("def _classic_reference_tree_only(text: str) -> int"),
        "_classic_reference_parse to the C++ tree only; returns the node count (for benchmarks).");
#endif
  m.def("_render_classic", &render_classic_py, nb::arg("text").none(), nb::arg("dialect") = "generic",
        nb::arg("classic_mode") = false,
        nb::sig("def _render_classic(text: str, dialect: str = 'generic', classic_mode: bool = False) -> object"),
        "The classic parse tree rendered from the typed syntax tree (for measurements).");
}
// ==== END CLASSIC RENDERING =====================================================

// ==== LINEAGE: full column lineage of a script ===================================

// ---- the result objects ------------------------------------------------------

// The result classes of sqlparse_main.lineage (frozen dataclasses), registered
// once by that module. Instances are made here without calling __init__: each
// field is stored through its slot's descriptor (or, for a class without
// slots, the generic attribute store), which is what the frozen __init__ does
// in the end, at a fraction of the cost of the Python call per object.
enum LineageClass { kSourceClass, kColumnClass, kWarningClass, kStatementClass, kComposedClass,
                    kScriptClass, kLineageClassCount };

struct LineageClassInfo {
  nb::object owner;  // keeps `type` alive until the interpreter exits
  PyTypeObject* type = nullptr;
  std::vector<nb::object> names;   // field names in order
  std::vector<nb::object> slots;   // their slot descriptors, or None
};

LineageClassInfo g_lineage_classes[kLineageClassCount];

// Dropped at interpreter exit, while Python still runs, so that the classes
// (and what their module holds) are freed before the extension is.
void forget_lineage_classes() {
  for (LineageClassInfo& info : g_lineage_classes) info = LineageClassInfo();
}

void lineage_classes_py(nb::tuple classes) {
  if (classes.size() != kLineageClassCount) throw nb::type_error("expected the six lineage classes");
  static bool forget_registered = false;
  if (!forget_registered) {
    nb::module_::import_("atexit").attr("register")(nb::cpp_function(&forget_lineage_classes));
    forget_registered = true;
  }
  nb::object fields_of = nb::module_::import_("dataclasses").attr("fields");
  for (std::size_t i = 0; i < kLineageClassCount; ++i) {
    nb::handle cls = classes[i];
    if (!PyType_Check(cls.ptr())) throw nb::type_error("expected a class");
    LineageClassInfo info;
    info.owner = nb::borrow(cls);
    info.type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    nb::handle own = info.type->tp_dict;
    for (nb::handle field : fields_of(cls)) {
      nb::object name = field.attr("name");
      PyObject* slot = PyDict_GetItemWithError(own.ptr(), name.ptr());  // borrowed
      if (slot == nullptr && PyErr_Occurred()) throw nb::python_error();
      const bool settable = slot != nullptr && Py_TYPE(slot)->tp_descr_set != nullptr;
      info.slots.push_back(settable ? nb::borrow(slot) : nb::none());
      info.names.push_back(std::move(name));
    }
    g_lineage_classes[i] = std::move(info);
  }
}

// A new instance of class `which` with `values` as its fields, in order.
nb::object lineage_instance(LineageClass which, std::initializer_list<nb::handle> values) {
  const LineageClassInfo& info = g_lineage_classes[which];
  if (info.type == nullptr) throw std::runtime_error("the lineage classes are not registered");
  if (values.size() != info.slots.size()) {
    throw std::runtime_error("a lineage class has other fields than the binding fills");
  }
  nb::object obj = nb::steal(info.type->tp_alloc(info.type, 0));
  if (!obj.is_valid()) throw nb::python_error();
  std::size_t i = 0;
  for (nb::handle value : values) {
    PyObject* slot = info.slots[i].ptr();
    const int rc = slot != Py_None
                       ? Py_TYPE(slot)->tp_descr_set(slot, obj.ptr(), value.ptr())
                       : PyObject_GenericSetAttr(obj.ptr(), info.names[i].ptr(), value.ptr());
    if (rc != 0) throw nb::python_error();
    ++i;
  }
  return obj;
}

// A tuple of n items made by `item(k)`.
template <typename Item>
nb::object tuple_of(std::size_t n, Item&& item) {
  nb::object out = nb::steal(PyTuple_New(static_cast<Py_ssize_t>(n)));
  if (!out.is_valid()) throw nb::python_error();
  for (std::size_t k = 0; k < n; ++k) {
    PyTuple_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(k), item(k).release().ptr());
  }
  return out;
}

nb::object lineage_sources_py(const std::vector<sqlparse::lineage::SourceColumn>& list) {
  return tuple_of(list.size(), [&](std::size_t k) {
    const auto& s = list[k];
    return lineage_instance(kSourceClass, {str_of_utf8(s.table), str_of_utf8(s.column),
                                           str_of_utf8(s.kind), nb::bool_(s.ambiguous)});
  });
}

nb::object lineage_optional_py(const std::optional<std::string>& s) {
  return s ? str_of_utf8(*s) : nb::none();
}

nb::object lineage_strings_py(const std::vector<std::string>& list) {
  return tuple_of(list.size(), [&](std::size_t k) { return str_of_utf8(list[k]); });
}

// The ScriptLineage object of an analysed script.
nb::object lineage_result_py(const sqlparse::lineage::ScriptLineage& result) {
  nb::object statements = tuple_of(result.statements.size(), [&](std::size_t k) {
    const auto& st = result.statements[k];
    nb::object columns = tuple_of(st.columns.size(), [&](std::size_t i) {
      return lineage_instance(kColumnClass, {str_of_utf8(st.columns[i].name), nb::int_(i),
                                             lineage_sources_py(st.columns[i].sources)});
    });
    nb::object warnings = tuple_of(st.warnings.size(), [&](std::size_t i) {
      const auto& w = st.warnings[i];
      return lineage_instance(kWarningClass, {str_of_utf8(w.code), str_of_utf8(w.message),
                                              nb::int_(w.line), nb::int_(w.column)});
    });
    nb::object error = st.error ? parse_error_object(*st.error) : nb::none();
    return lineage_instance(
        kStatementClass,
        {str_of_utf8(st.kind), lineage_optional_py(st.target), columns,
         lineage_sources_py(st.indirect), warnings, lineage_strings_py(st.source_tables),
         lineage_strings_py(st.target_tables), nb::int_(st.start), nb::int_(st.end),
         nb::int_(st.start_line), nb::int_(st.start_column), error});
  });
  nb::object composed = tuple_of(result.composed.size(), [&](std::size_t k) {
    const auto& c = result.composed[k];
    return lineage_instance(kComposedClass, {lineage_optional_py(c.target), str_of_utf8(c.name),
                                             lineage_sources_py(c.sources)});
  });
  return lineage_instance(kScriptClass, {statements, composed});
}

// ---- the schema --------------------------------------------------------------

using LineageSchema = sqlparse::lineage::Schema;

// Name parts split on dots outside double quotes, backticks and brackets
// (the quote characters are ASCII, so bytes of UTF-8 split like code points).
void split_schema_name(std::string_view name, std::vector<std::string>& parts) {
  if (name.find_first_of("\"`[") == std::string_view::npos) {  // no quotes: split on every dot
    for (std::size_t dot; (dot = name.find('.')) != std::string_view::npos; name.remove_prefix(dot + 1)) {
      parts.emplace_back(name.substr(0, dot));
    }
    parts.emplace_back(name);
    return;
  }
  std::string part;
  char quote = 0;
  for (char ch : name) {
    if (quote) {
      if (ch == quote) {
        quote = 0;
      } else {
        part += ch;
      }
    } else if (ch == '"' || ch == '`') {
      quote = ch;
    } else if (ch == '[') {
      quote = ']';
    } else if (ch == '.') {
      parts.push_back(std::move(part));
      part.clear();
    } else {
      part += ch;
    }
  }
  parts.push_back(std::move(part));
}

bool is_column_list(PyObject* o) { return PyList_CheckExact(o) || PyTuple_CheckExact(o); }

// Calls f(name) for each column str of a table entry that walk_plain_schema
// accepted: the items of a list or tuple, or the keys of a dict.
template <typename F>
void for_each_schema_column(PyObject* value, F&& f) {
  if (PyDict_CheckExact(value)) {
    PyObject* k = nullptr;
    PyObject* v = nullptr;
    Py_ssize_t p = 0;
    while (PyDict_Next(value, &p, &k, &v)) f(k);
    return;
  }
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(value);
  PyObject** items = PySequence_Fast_ITEMS(value);
  for (Py_ssize_t i = 0; i < n; ++i) f(items[i]);
}

// Calls add(parts, value) for each table of one level of a plain schema
// (dicts, lists and tuples of str), value being its entry, checked. False
// when the level holds anything else, or anything the Python walk rejects:
// then sqlparse_main.lineage walks the mapping itself, which accepts every
// Mapping and words the errors.
template <typename Add>
bool walk_plain_schema(PyObject* mapping, std::vector<std::string>& prefix, Add& add) {
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  Py_ssize_t pos = 0;
  while (PyDict_Next(mapping, &pos, &key, &value)) {
    if (!PyUnicode_Check(key) || PyUnicode_GET_LENGTH(key) == 0) return false;
    const std::size_t depth = prefix.size();
    split_schema_name(utf8_of(key), prefix);
    if (prefix.size() > 3) return false;
    if (is_column_list(value)) {
      const Py_ssize_t n = PySequence_Fast_GET_SIZE(value);
      PyObject** items = PySequence_Fast_ITEMS(value);
      for (Py_ssize_t i = 0; i < n; ++i) {
        if (!PyUnicode_Check(items[i])) return false;
      }
      add(prefix, value);
    } else if (PyDict_CheckExact(value)) {
      // Column name -> type text, or (all values nested) the next level.
      PyObject* k = nullptr;
      PyObject* v = nullptr;
      Py_ssize_t p = 0;
      bool all_text = true;
      bool all_nested = true;
      bool text_keys = true;
      while (PyDict_Next(value, &p, &k, &v)) {
        all_text = all_text && PyUnicode_Check(v);
        all_nested = all_nested && (PyDict_CheckExact(v) || is_column_list(v));
        text_keys = text_keys && PyUnicode_Check(k);
      }
      if (all_text) {
        if (!text_keys) return false;
        add(prefix, value);
      } else if (all_nested && prefix.size() < 3) {
        if (!walk_plain_schema(value, prefix, add)) return false;
      } else {
        return false;
      }
    } else {
      return false;
    }
    prefix.resize(depth);
  }
  return true;
}

// The whole schema of a plain dict into `schema`; false as walk_plain_schema.
bool add_plain_schema(PyObject* mapping, LineageSchema& schema) {
  std::vector<std::string> prefix;
  auto add = [&](const std::vector<std::string>& parts, PyObject* value) {
    std::vector<std::string> columns;
    for_each_schema_column(value, [&](PyObject* c) { columns.push_back(utf8_of(c)); });
    schema.add_table(parts, std::move(columns));
  };
  return walk_plain_schema(mapping, prefix, add);
}

// The tables of a plain dict schema, for a schema whose tables fill in
// lazily: a query reads a few tables of the schema, and only their columns
// become strings. The entries were checked when the call began; a table is
// read (the GIL taken again for it) when the analysis first looks it up. Only
// another thread changing an entry meanwhile could make it differ, and then
// only its str items are read.
class LazySchemaTables {
 public:
  // Adds the schema's tables to `schema` as lazy tables reading from this
  // object, which must outlive its use; false as walk_plain_schema.
  bool add_to(PyObject* mapping, LineageSchema& schema) {
    std::vector<std::string> prefix;
    const auto tables = static_cast<std::size_t>(PyDict_Size(mapping));  // nesting may add more
    values_.reserve(tables);
    schema.reserve(tables);
    auto add = [&](const std::vector<std::string>& parts, PyObject* value) {
      values_.push_back(nb::borrow(value));
      schema.add_lazy_table(parts, values_.size() - 1);
    };
    if (!walk_plain_schema(mapping, prefix, add)) return false;
    schema.set_column_source([this](std::size_t handle) { return columns(handle); });
    return true;
  }

 private:
  std::vector<std::string> columns(std::size_t handle) const {
    nb::gil_scoped_acquire gil;
    std::vector<std::string> out;
    for_each_schema_column(values_[handle].ptr(), [&](PyObject* c) {
      if (PyUnicode_Check(c)) out.push_back(utf8_of(c));
    });
    return out;
  }

  std::vector<nb::object> values_;  // each table's entry
};

// _lineage_schema(mapping, default_catalog, default_schema): the schema of a
// plain dict, or None when the Python walk must take it (see above).
nb::object lineage_schema_py(nb::handle mapping, const std::string& default_catalog,
                             const std::string& default_schema) {
  if (!PyDict_CheckExact(mapping.ptr())) return nb::none();
  auto schema = std::make_unique<LineageSchema>(default_catalog, default_schema);
  if (!add_plain_schema(mapping.ptr(), *schema)) return nb::none();
  return nb::cast(schema.release(), nb::rv_policy::take_ownership);
}

// A schema from (name parts, column names) pairs, as the Python walk gives them.
void lineage_schema_init(LineageSchema* self, nb::handle tables, const std::string& default_catalog,
                         const std::string& default_schema) {
  // Names are read with utf8_of so that a str with a lone surrogate converts
  // as it does from a dict.
  auto strings = [](nb::handle list) {
    std::vector<std::string> out;
    for (nb::handle item : list) {
      if (!PyUnicode_Check(item.ptr())) raise_type_error("expected str, got " + type_name_of(item.ptr()));
      out.push_back(utf8_of(item.ptr()));
    }
    return out;
  };
  LineageSchema schema(default_catalog, default_schema);
  for (nb::handle entry : tables) {
    nb::tuple pair = nb::cast<nb::tuple>(entry);
    schema.add_table(strings(pair[0]), strings(pair[1]));
  }
  new (self) LineageSchema(std::move(schema));
}

// ---- the call ----------------------------------------------------------------

// _lineage(text, dialect, schema, collect): the ScriptLineage object of the
// text. Parsing and analysis run with the GIL released.
sqlparse::syntax::Dialect lineage_dialect(const std::string& name) {
  std::optional<sqlparse::syntax::Dialect> dialect = sqlparse::syntax::dialect_by_name(name);
  if (!dialect) {
    throw nb::value_error(("unknown dialect '" + name + "'; expected one of: " +
                           std::string(sqlparse::syntax::dialect_names()))
                              .c_str());
  }
  return *dialect;
}

void check_script_size(std::string_view sql, const std::string& where) {
  if (sql.size() >= sqlparse::syntax::kMaxScriptBytes) {
    throw nb::value_error((where + "text of " + std::to_string(sql.size()) +
                           " bytes is too long to analyse (the limit is 2 GiB)")
                              .c_str());
  }
}

nb::object lineage_py(nb::handle text, const std::string& dialect_name, const LineageSchema& schema,
                      bool collect) {
  const sqlparse::syntax::Dialect dialect = lineage_dialect(dialect_name);
  std::string copy;
  std::string_view sql = utf8_view_of(text, copy);
  check_script_size(sql, "");
  sqlparse::lineage::ScriptLineage result;
  {
    nb::gil_scoped_release release;
    auto script = sqlparse::syntax::parse_script(sql, dialect, collect);
    result = sqlparse::lineage::analyze_lineage(*script, schema);
  }
  return lineage_result_py(result);
}

// _lineage_dict(text, dialect, mapping, default_catalog, default_schema,
// collect): as _lineage with the schema of a plain dict, whose tables become
// strings only when the text names them; None (nothing analysed) when the
// Python walk must take the mapping.
nb::object lineage_dict_py(nb::handle text, const std::string& dialect_name, nb::handle mapping,
                           const std::string& default_catalog, const std::string& default_schema,
                           bool collect) {
  if (!PyDict_CheckExact(mapping.ptr())) return nb::none();
  LineageSchema schema(default_catalog, default_schema);
  LazySchemaTables tables;
  if (!tables.add_to(mapping.ptr(), schema)) return nb::none();
  return lineage_py(text, dialect_name, schema, collect);
}

// _lineage_many(texts, dialect, schema, threads): the ScriptLineage of each
// text (statement errors collected), in input order. The texts are parsed and
// analysed on worker threads without the GIL; this thread builds each result
// while later texts are still being analysed.
nb::list lineage_many_py(nb::handle texts, const std::string& dialect_name,
                         const LineageSchema& schema, nb::handle threads) {
  const sqlparse::syntax::Dialect dialect = lineage_dialect(dialect_name);
  const std::size_t thread_count = thread_count_of(threads);
  BatchTexts inputs(texts);
  for (std::size_t i = 0; i < inputs.views().size(); ++i) {
    check_script_size(inputs.views()[i], "sqls[" + std::to_string(i) + "]: ");
  }
  sqlparse::lineage::LineageBatch run(inputs.views(), dialect, schema, thread_count);
  nb::list out;
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (!run.ready(i)) {
      nb::gil_scoped_release release;
      run.wait(i);
    }
    // Read in place, then released: the thread that made it frees it.
    const sqlparse::lineage::ScriptOutcome& outcome = run.wait(i);
    if (const auto* error = std::get_if<std::exception_ptr>(&outcome)) {
      std::rethrow_exception(*error);
    }
    out.append(lineage_result_py(std::get<sqlparse::lineage::ScriptLineage>(outcome)));
    run.release(i);
  }
  return out;
}

void bind_lineage(nb::module_& m) {
  nb::class_<LineageSchema>(m, "_LineageSchema",
                            "The columns of base tables, converted once (sqlparse_main.Schema wraps it).")
      .def("__init__", &lineage_schema_init, nb::arg("tables"), nb::arg("default_catalog"),
           nb::arg("default_schema"),
           nb::sig("def __init__(self, tables: list[tuple[list[str], list[str]]], "
                   "default_catalog: str, default_schema: str) -> None"))
      .def("__len__", &LineageSchema::size);
  m.def("_lineage_schema", &lineage_schema_py, nb::arg("mapping"), nb::arg("default_catalog"),
        nb::arg("default_schema"),
        nb::sig("def _lineage_schema(mapping: object, default_catalog: str, default_schema: str) "
                "-> _LineageSchema | None"),
        "The schema of a plain dict, or None when sqlparse_main.lineage must walk it.");
  m.def("_lineage", &lineage_py, nb::arg("text").none(), nb::arg("dialect"), nb::arg("schema"),
        nb::arg("collect"),
        nb::sig("def _lineage(text: str, dialect: str, schema: _LineageSchema, collect: bool) "
                "-> object"),
        "The lineage of a script as a sqlparse_main.ScriptLineage.");
  m.def("_lineage_dict", &lineage_dict_py, nb::arg("text").none(), nb::arg("dialect"),
        nb::arg("mapping"), nb::arg("default_catalog"), nb::arg("default_schema"),
        nb::arg("collect"),
        nb::sig("def _lineage_dict(text: str, dialect: str, mapping: object, default_catalog: str, "
                "default_schema: str, collect: bool) -> object | None"),
        "As _lineage with the schema of a plain dict, converted as far as the text needs; None "
        "when sqlparse_main.lineage must walk the mapping.");
  m.def("_lineage_many", &lineage_many_py, nb::arg("texts"), nb::arg("dialect"), nb::arg("schema"),
        nb::arg("threads"),
        nb::sig("def _lineage_many(texts: list[str], dialect: str, schema: _LineageSchema, "
                "threads: int) -> list[object]"),
        "The ScriptLineage of each text, statement errors collected, analysed on worker threads.");
  m.def("_lineage_classes", &lineage_classes_py, nb::arg("classes"),
        nb::sig("def _lineage_classes(classes: tuple[type, ...]) -> None"),
        "Registers the six result classes of sqlparse_main.lineage, in the order Source, "
        "ColumnLineage, LineageWarning, StatementLineage, ComposedColumn, ScriptLineage.");
}
// ==== END LINEAGE ===============================================================

// ==== LINEAGE VIEW: the page and DOT graph of lineage results =====================
// The statements come as (file, number, StatementLineage, sql, composed)
// tuples; their fields are read through the registered classes' slots into
// plain C++ structs in one pass, then the graph, its layout and the text are
// built without the GIL.

namespace lv = sqlparse::lineage_view;

class ViewReader {
 public:
  ViewReader() {
    for (std::size_t i = 0; i < kLineageClassCount; ++i) {
      if (g_lineage_classes[i].type == nullptr) throw std::runtime_error("the lineage classes are not registered");
    }
  }

  // The statements. Names are copied into the reader's arena while they are
  // at hand (small and read again and again by the graph); the scripts'
  // texts and error messages are viewed in str objects the reader keeps.
  std::vector<lv::Statement> statements(nb::handle list) {
    nb::object seq = fast(list.ptr(), "statements");
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
    std::vector<lv::Statement> out(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* item = PySequence_Fast_GET_ITEM(seq.ptr(), i);
      if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 5) {
        raise_type_error("statements must be (file, number, StatementLineage, sql, composed) tuples");
      }
      lv::Statement& st = out[static_cast<std::size_t>(i)];
      keep_borrowed(item);  // holds the file and sql
      st.file = kept_text(PyTuple_GET_ITEM(item, 0));
      st.number = integer(PyTuple_GET_ITEM(item, 1));
      statement(PyTuple_GET_ITEM(item, 2), st);
      st.sql = kept_text(PyTuple_GET_ITEM(item, 3));
      nb::object composed = fast(PyTuple_GET_ITEM(item, 4), "composed");
      for (PyObject* c : items(composed)) {
        const nb::object hold = nb::borrow(c);
        lv::Composed& out_c = st.composed.emplace_back();
        out_c.target = optional_text(field(composed_, c, 0));
        out_c.name = text(field(composed_, c, 1));
        sources(field(composed_, c, 2), out_c.sources);
      }
    }
    return out;
  }

 private:
  // A class's needed fields by position in its dataclass fields, and for a
  // slot the offset of its object pointer in the instance (-1: read it
  // through the attribute protocol).
  struct Fields {
    LineageClass which;
    std::vector<std::size_t> at;
    std::vector<Py_ssize_t> offset;
    Fields(LineageClass w, std::initializer_list<const char*> names) : which(w) {
      const LineageClassInfo& info = g_lineage_classes[w];
      for (const char* name : names) {
        std::size_t i = 0;
        while (i < info.names.size() && PyUnicode_CompareWithASCIIString(info.names[i].ptr(), name) != 0) ++i;
        if (i == info.names.size()) throw std::runtime_error(std::string("a lineage class has no field ") + name);
        at.push_back(i);
        offset.push_back(slot_offset(info.slots[i].ptr()));
      }
    }
  };

  static Py_ssize_t slot_offset(PyObject* slot) {
    if (slot == Py_None || !Py_IS_TYPE(slot, &PyMemberDescr_Type)) return -1;
    const PyMemberDef* member = reinterpret_cast<PyMemberDescrObject*>(slot)->d_member;
#if PY_VERSION_HEX >= 0x030C0000
    const bool object_slot = member->type == Py_T_OBJECT_EX;
#else
    const bool object_slot = member->type == T_OBJECT_EX;
#endif
    return object_slot ? member->offset : -1;
  }

  void statement(PyObject* obj, lv::Statement& st) {
    st.kind = text(field(statement_, obj, 0));
    st.target = optional_text(field(statement_, obj, 1));
    nb::object columns = fast(field(statement_, obj, 2), "columns");
    st.columns.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(columns.ptr())));
    for (PyObject* c : items(columns)) {
      const nb::object hold = nb::borrow(c);
      lv::Column& col = st.columns.emplace_back();
      col.name = text(field(column_, c, 0));
      sources(field(column_, c, 1), col.sources);
    }
    sources(field(statement_, obj, 3), st.indirect);
    nb::object warnings = fast(field(statement_, obj, 4), "warnings");
    for (PyObject* w : items(warnings)) {
      const nb::object hold = nb::borrow(w);
      st.warnings.push_back({text(field(warning_, w, 0)), text(field(warning_, w, 1)),
                             integer(field(warning_, w, 2)), integer(field(warning_, w, 3))});
    }
    nb::object tables = fast(field(statement_, obj, 5), "source_tables");
    for (PyObject* t : items(tables)) st.source_tables.push_back(text(t));
    st.start_line = integer(field(statement_, obj, 6));
    st.start_column = integer(field(statement_, obj, 7));
    PyObject* error = keep_borrowed(field(statement_, obj, 8));  // its __str__ may run any code
    if (error != Py_None) {
      st.failed = true;
      st.error_type = kept_text(keep(nb::handle(reinterpret_cast<PyObject*>(Py_TYPE(error))).attr("__name__")));
      st.error_message = kept_text(keep(nb::steal(PyObject_Str(error))));
      st.error_line = int_attr(error, "line");
      st.error_column = int_attr(error, "column");
    }
  }

  void sources(PyObject* list, std::vector<lv::Source>& out) {
    nb::object seq = fast(list, "sources");
    out.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(seq.ptr())));
    for (PyObject* s : items(seq)) {
      const nb::object hold = nb::borrow(s);
      out.push_back({text(field(source_, s, 0)), text(field(source_, s, 1)), text(field(source_, s, 2))});
    }
  }

  // Field k of `fields` of obj, read through its slot: a reference borrowed
  // from obj (used at once, before any Python code can run).
  PyObject* field(const Fields& fields, PyObject* obj, std::size_t k) {
    const LineageClassInfo& info = g_lineage_classes[fields.which];
    if (Py_TYPE(obj) != info.type && !PyObject_TypeCheck(obj, info.type)) {
      raise_type_error(std::string("expected ") + info.type->tp_name + ", got " + type_name_of(obj));
    }
    if (const Py_ssize_t offset = fields.offset[k]; offset >= 0) {
      PyObject* value = *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(obj) + offset);
      if (value != nullptr) return value;
    }
    const std::size_t i = fields.at[k];
    PyObject* slot = info.slots[i].ptr();
    PyObject* value = slot != Py_None && Py_TYPE(slot)->tp_descr_get != nullptr
                          ? Py_TYPE(slot)->tp_descr_get(slot, obj, reinterpret_cast<PyObject*>(info.type))
                          : PyObject_GetAttr(obj, info.names[i].ptr());
    return keep(nb::steal(value));
  }

  // Every object whose text is viewed is held until the reader goes.
  PyObject* keep(nb::object value) {
    if (!value.is_valid()) throw nb::python_error();
    return keep_borrowed(value.ptr());
  }
  PyObject* keep_borrowed(PyObject* value) {
    kept_.push_back(value);
    Py_INCREF(value);
    return value;
  }

  static nb::object fast(PyObject* obj, const char* what) {
    PyObject* seq = PySequence_Fast(obj, (std::string(what) + " must be a sequence").c_str());
    if (seq == nullptr) throw nb::python_error();
    return nb::steal(seq);
  }

  struct Items {
    PyObject** first;
    PyObject** last;
    PyObject** begin() const { return first; }
    PyObject** end() const { return last; }
  };
  static Items items(const nb::object& seq) {
    PyObject** at = PySequence_Fast_ITEMS(seq.ptr());
    return {at, at + PySequence_Fast_GET_SIZE(seq.ptr())};
  }

  // The UTF-8 of a str, copied into the arena.
  std::string_view text(PyObject* obj) { return arena_.copy(kept_text(obj)); }

  // The UTF-8 of a str that the reader keeps alive (or a copy with lone surrogates).
  std::string_view kept_text(PyObject* obj) {
    if (!PyUnicode_Check(obj)) raise_type_error("expected str, got " + type_name_of(obj));
    if (PyUnicode_IS_COMPACT_ASCII(obj)) {  // most names: the text is in the object, no call needed
      return std::string_view(static_cast<const char*>(PyUnicode_DATA(obj)),
                              static_cast<std::size_t>(PyUnicode_GET_LENGTH(obj)));
    }
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(obj, &size)) {
      return std::string_view(data, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    return copies_.emplace_back(utf8_of(obj));
  }

  // Text copied into blocks that never move, so that views of it stay valid.
  class Arena {
   public:
    std::string_view copy(std::string_view text) {
      if (text.size() > left_) {
        const std::size_t size = std::max(kBlock, text.size());
        at_ = blocks_.emplace_back(new char[size]).get();
        left_ = size;
      }
      copy_to(at_, text.data(), text.size());
      const std::string_view out(at_, text.size());
      at_ += text.size();
      left_ -= text.size();
      return out;
    }

   private:
    // Names are short: two overlapping fixed-size moves, inlined, rather
    // than a call to memcpy each.
    static void copy_to(char* p, const char* s, std::size_t n) {
      if (n >= 8 && n <= 16) {
        std::uint64_t a, b;
        std::memcpy(&a, s, 8);
        std::memcpy(&b, s + n - 8, 8);
        std::memcpy(p, &a, 8);
        std::memcpy(p + n - 8, &b, 8);
      } else if (n >= 4 && n < 8) {
        std::uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + n - 4, 4);
        std::memcpy(p, &a, 4);
        std::memcpy(p + n - 4, &b, 4);
      } else if (n > 0) {
        std::memcpy(p, s, n);
      }
    }

    static constexpr std::size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* at_ = nullptr;
    std::size_t left_ = 0;
  };

  std::optional<std::string_view> optional_text(PyObject* obj) {
    if (obj == Py_None) return std::nullopt;
    return text(obj);
  }

  static std::int64_t integer(PyObject* obj) {
    if (!PyLong_Check(obj)) raise_type_error("expected int, got " + type_name_of(obj));
    const long long v = PyLong_AsLongLong(obj);
    if (v == -1 && PyErr_Occurred()) throw nb::python_error();
    return v;
  }

  // An int attribute of an exception, when it has one that fits.
  static std::optional<std::int64_t> int_attr(PyObject* obj, const char* name) {
    nb::object v = nb::steal(PyObject_GetAttrString(obj, name));
    if (!v.is_valid()) {
      PyErr_Clear();
      return std::nullopt;
    }
    if (!PyLong_Check(v.ptr())) return std::nullopt;
    const long long n = PyLong_AsLongLong(v.ptr());
    if (n == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      return std::nullopt;
    }
    return n;
  }

  Fields source_{kSourceClass, {"table", "column", "kind"}};
  Fields column_{kColumnClass, {"name", "sources"}};
  Fields warning_{kWarningClass, {"code", "message", "line", "column"}};
  Fields statement_{kStatementClass, {"kind", "target", "columns", "indirect", "warnings", "source_tables",
                                      "start_line", "start_column", "error"}};
  Fields composed_{kComposedClass, {"target", "name", "sources"}};
  struct Kept {  // owned references, dropped with the reader (the GIL held)
    std::vector<PyObject*> objects;
    Kept() { objects.reserve(256); }
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;
    ~Kept() {
      for (PyObject* o : objects) Py_DECREF(o);
    }
    void push_back(PyObject* o) { objects.push_back(o); }
  };
  Kept kept_;
  Arena arena_;
  std::deque<std::string> copies_;
};

// _lineage_view(statements, format, title, css, js): the page ("html") or the
// Graphviz graph ("dot") of the statements.
nb::object lineage_view_py(nb::handle statements, const std::string& format, const std::string& title,
                           const std::string& css, const std::string& js) {
  if (format != "html" && format != "dot") throw nb::value_error("format must be 'html' or 'dot'");
  ViewReader reader;
  const std::vector<lv::Statement> input = reader.statements(statements);
  // The page's text is built in a buffer kept from call to call: fresh memory
  // for each page would cost more in page faults than writing the page.
  static thread_local std::string buffer;
  constexpr std::size_t kKeptBuffer = std::size_t{32} << 20;
  buffer.clear();
  {
    nb::gil_scoped_release release;
    const lv::Graph graph = lv::build_graph(input);
    if (format == "dot") {
      buffer = lv::render_dot(graph);
    } else {
      lv::render_page(buffer, graph, lv::layout(graph), lv::PageParts{title, css, js});
    }
  }
  nb::object out = str_of_utf8(buffer);
  if (buffer.capacity() > kKeptBuffer) std::string().swap(buffer);
  return out;
}

// _lineage_view_layout(statements, sweeps): the boxes and edges as the page
// draws them, as plain data (for tests and measurements).
nb::dict lineage_view_layout_py(nb::handle statements, int sweeps) {
  if (sweeps < 0 || sweeps > 1000) throw nb::value_error("sweeps must be from 0 to 1000");
  ViewReader reader;
  std::vector<lv::Statement> input = reader.statements(statements);
  lv::Graph graph;
  lv::Layout lay;
  long long crossed = 0;
  {
    nb::gil_scoped_release release;
    graph = lv::build_graph(input);
    lay = lv::layout(graph, sweeps);
    crossed = lv::crossings(graph, lay);
  }
  nb::list tables, edges, composed;
  for (std::size_t t = 0; t < graph.tables.size(); ++t) {
    const lv::Table& table = graph.tables[t];
    const lv::Box& box = lay.boxes[t];
    nb::list columns;
    for (int c : box.columns) columns.append(str_of_utf8(table.columns[c]));
    nb::dict d;
    d["name"] = str_of_utf8(table.name);
    d["role"] = std::string(lv::role_name(table.role()));
    d["layer"] = box.layer;
    d["columns"] = columns;
    d["x"] = box.x;
    d["y"] = box.y;
    d["w"] = box.w;
    d["h"] = box.h;
    tables.append(d);
  }
  std::string path;
  for (std::size_t i = 0; i < graph.edges.size(); ++i) {
    const lv::Edge& e = graph.edges[i];
    path.clear();
    lv::append_edge_path(path, lay, e);
    nb::list stmts;
    for (int k : graph.statements_of(i)) stmts.append(k);
    edges.append(nb::make_tuple(str_of_utf8(graph.edge_source(e)), str_of_utf8(graph.edge_target(e)),
                                str_of_utf8(graph.kinds[e.kind]), stmts, path));
  }
  for (const lv::ComposedEdge& c : graph.composed) {
    composed.append(nb::make_tuple(str_of_utf8(c.source_table), str_of_utf8(c.source_column),
                                   str_of_utf8(c.target_table), str_of_utf8(c.target_column),
                                   str_of_utf8(c.kind)));
  }
  nb::dict out;
  out["tables"] = tables;
  out["edges"] = edges;
  out["composed"] = composed;
  out["width"] = lay.width;
  out["height"] = lay.height;
  out["crossings"] = crossed;
  return out;
}

void bind_lineage_view(nb::module_& m) {
  m.def("_lineage_view", &lineage_view_py, nb::arg("statements"), nb::arg("format"), nb::arg("title"),
        nb::arg("css"), nb::arg("js"),
        nb::sig("def _lineage_view(statements: list[tuple[str, int, object, str, tuple[object, ...]]], "
                "format: str, title: str, css: str, js: str) -> str"),
        "The lineage page ('html', with the given style sheet and script) or Graphviz graph ('dot') of "
        "(file, number, StatementLineage, sql, composed) tuples.");
  m.def("_lineage_view_layout", &lineage_view_layout_py, nb::arg("statements"), nb::arg("sweeps"),
        nb::sig("def _lineage_view_layout(statements: list[tuple[str, int, object, str, tuple[object, ...]]], "
                "sweeps: int) -> dict[str, Any]"),
        "The page's boxes (tables), edges, composed edges, size and edge crossings as plain data.");
}
// ==== END LINEAGE VIEW ==========================================================

// ==== ARROW EDGES ===============================================================
// _arrow_lineage_edges(column, dialect, schema, threads): the edge batches of
// a string column given through the Arrow PyCapsule protocol
// (__arrow_c_array__). The texts are read from the column's buffers and
// analysed without the GIL; each batch comes back as a (schema, array) pair
// of capsules that pyarrow imports without copying.

template <typename T>
T* arrow_capsule_pointer(nb::handle capsule, const char* name) {
  void* pointer = PyCapsule_GetPointer(capsule.ptr(), name);
  if (pointer == nullptr) throw nb::python_error();
  return static_cast<T*>(pointer);
}

void release_schema_capsule(void* pointer) noexcept {
  auto* schema = static_cast<ArrowSchema*>(pointer);
  if (schema->release != nullptr) schema->release(schema);
  delete schema;
}

void release_array_capsule(void* pointer) noexcept {
  auto* array = static_cast<ArrowArray*>(pointer);
  if (array->release != nullptr) array->release(array);
  delete array;
}

nb::list arrow_lineage_edges_py(nb::handle column, const std::string& dialect_name,
                                const LineageSchema& schema, nb::handle threads) {
  namespace ae = sqlparse::arrow_edges;
  const sqlparse::syntax::Dialect dialect = lineage_dialect(dialect_name);
  const std::size_t thread_count = thread_count_of(threads);
  nb::object exported = column.attr("__arrow_c_array__")();
  if (!PyTuple_Check(exported.ptr()) || PyTuple_GET_SIZE(exported.ptr()) != 2) {
    raise_type_error("__arrow_c_array__() must give a (schema, array) pair of capsules");
  }
  // The capsules keep the column alive (and release it) while it is read.
  nb::object schema_capsule = nb::borrow(PyTuple_GET_ITEM(exported.ptr(), 0));
  nb::object array_capsule = nb::borrow(PyTuple_GET_ITEM(exported.ptr(), 1));
  const auto* arrow_schema = arrow_capsule_pointer<ArrowSchema>(schema_capsule, "arrow_schema");
  const auto* arrow_array = arrow_capsule_pointer<ArrowArray>(array_capsule, "arrow_array");
  std::vector<ae::ExportedBatch> batches;
  std::optional<std::string> column_error;
  {
    nb::gil_scoped_release release;
    try {
      const ae::TextColumn texts = ae::read_text_column(*arrow_schema, *arrow_array);
      batches = ae::lineage_edges(texts, dialect, schema, thread_count);
    } catch (const ae::ColumnError& e) {
      column_error = e.what();
    }
  }
  if (column_error) raise_type_error(*column_error);
  nb::list out;
  for (ae::ExportedBatch& batch : batches) {
    auto* out_schema = new ArrowSchema;
    auto* out_array = new ArrowArray;
    batch.move_to(out_schema, out_array);
    nb::capsule s(out_schema, "arrow_schema", &release_schema_capsule);
    nb::capsule a(out_array, "arrow_array", &release_array_capsule);
    out.append(nb::make_tuple(s, a));
  }
  return out;
}

void bind_arrow_edges(nb::module_& m) {
  m.def("_arrow_lineage_edges", &arrow_lineage_edges_py, nb::arg("column"), nb::arg("dialect"),
        nb::arg("schema"), nb::arg("threads"),
        nb::sig("def _arrow_lineage_edges(column: object, dialect: str, schema: _LineageSchema, "
                "threads: int) -> list[tuple[object, object]]"),
        "The lineage edges of an Arrow string column, as (schema, array) capsule pairs.");
}
// ==== END ARROW EDGES ===========================================================

}  // namespace

NB_MODULE(_sqlparse_core, m) {
  m.doc() = "C++ core of sqlparse_main: parser, comment stripping, path query and analyser.";
  bind_tree(m);
  bind_re_hint(m);
  bind_parser(m);
  bind_path_query(m);
  bind_analyze(m);
  bind_batch(m);
  bind_syntax(m);
  bind_classic_render(m);
  bind_lineage(m);
  bind_arrow_edges(m);
  bind_lineage_view(m);
  // Each section above adds a bind_*() call here.
}
