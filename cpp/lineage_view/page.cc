#include "lineage_view/page.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "lineage_view/text.h"

namespace sqlparse::lineage_view {

namespace {

constexpr std::string_view kDirectKinds[] = {"identity", "transformation", "aggregation", "conditional",
                                             "window"};

void append_ints(std::string& out, const std::vector<int>& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) out += ' ';
    append_int(out, list[i]);
  }
}

// The HTML-escaped names of the tables and their columns ("table.column"),
// each escaped once however many edges and rows repeat it.
class EscapedNames {
 public:
  explicit EscapedNames(const Graph& graph) {
    tables_.reserve(graph.tables.size());
    columns_.reserve(graph.tables.size());
    for (const Table& t : graph.tables) {
      std::string name;
      append_html(name, t.name);
      tables_.push_back({text_.size(), name.size()});
      text_ += name;
      std::vector<Span>& columns = columns_.emplace_back();
      columns.reserve(t.columns.size());
      for (std::string_view c : t.columns) {
        const std::size_t key = text_.size();
        text_.append(name).push_back('.');
        append_html(text_, c);
        columns.push_back({key, text_.size() - key});
      }
    }
  }

  std::string_view table(int t) const { return view(tables_[t]); }
  std::string_view key(int t, int c) const { return view(columns_[t][c]); }  // "table.column"
  std::string_view column(int t, int c) const { return key(t, c).substr(tables_[t].size + 1); }

 private:
  struct Span {
    std::size_t at, size;
  };
  std::string_view view(Span s) const { return std::string_view(text_).substr(s.at, s.size); }

  std::string text_;
  std::vector<Span> tables_;
  std::vector<std::vector<Span>> columns_;
};

// Each kind's fixed text around an edge's data, escaped once.
struct KindText {
  std::string head[2];  // up to data-source's value; [1] for an indirect edge
  std::string middle;   // from the end of data-target's value to data-stmts'
};

void render_table(std::string& out, const Graph& graph, const Layout& lay, const EscapedNames& names, int t) {
  const Table& table = graph.tables[t];
  const Box& box = lay.boxes[t];
  std::size_t warned = 0;
  for (int k : table.written_by) warned += (*graph.statements)[k].warnings.size();
  const std::string_view role = role_name(table.role());
  out += "<div class=\"table role-";
  out += role;
  if (warned) out += " has-warnings";
  out += "\" data-table=\"";
  out += names.table(t);
  out += "\" data-written=\"";
  append_ints(out, table.written_by);
  out += "\" style=\"left:";
  append_fixed0(out, box.x);
  out += "px;top:";
  append_fixed0(out, box.y);
  out += "px;width:";
  append_fixed0(out, box.w);
  out += "px\"><div class=\"head\" title=\"";
  out += names.table(t);
  out += " (";
  out += role;
  out += ")\">";
  if (warned) {
    out += "<span class=\"warn\" title=\"warnings\">&#x26a0; ";
    append_int(out, static_cast<std::int64_t>(warned));
    out += "</span>";
  }
  out += "<span class=\"name\">";
  out += names.table(t);
  out += "</span></div>";
  for (int c : box.columns) {
    out += "<div class=\"col\" data-column=\"";
    out += names.key(t, c);
    out += "\" title=\"";
    out += names.key(t, c);
    out += "\">";
    out += names.column(t, c);
    out += "</div>";
  }
  out += "</div>";
}

char* put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// The edges, one <path> a line, indirect ones first so that the value edges
// are drawn over them. Written through a pointer into room made once.
void render_edges(std::string& out, const Graph& graph, const Layout& lay, const EscapedNames& names,
                  const std::vector<KindText>& kinds) {
  constexpr std::string_view kTarget = "\" data-target=\"", kPath = "\" d=\"", kEnd = "\"/>\n";
  const std::size_t path_room = edge_path_room(lay);
  std::size_t room = 0;
  for (std::size_t i = 0; i < graph.edges.size(); ++i) {
    const Edge& e = graph.edges[i];
    const KindText& kind = kinds[e.kind];
    room += kind.head[e.indirect].size() + kind.middle.size() + names.table(e.source_table).size() +
            names.table(e.target_table).size() + 2 + 12 * static_cast<std::size_t>(graph.edge_start[i + 1] - graph.edge_start[i]) +
            kTarget.size() + kPath.size() + kEnd.size() + path_room;
    if (e.source_column >= 0) room += names.key(e.source_table, e.source_column).size();
    if (e.target_column >= 0) room += names.key(e.target_table, e.target_column).size();
  }
  const std::size_t start = out.size();
  out.resize(start + room);
  char* p = out.data() + start;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < graph.edges.size(); ++i) {
      const Edge& e = graph.edges[i];
      if (e.indirect != (pass == 0)) continue;
      const KindText& kind = kinds[e.kind];
      p = put(p, kind.head[e.indirect]);
      if (e.source_column >= 0) {
        p = put(p, names.key(e.source_table, e.source_column));
      } else {
        p = put(p, names.table(e.source_table));
        *p++ = '.';
      }
      p = put(p, kTarget);
      p = put(p, e.target_column >= 0 ? names.key(e.target_table, e.target_column) : names.table(e.target_table));
      p = put(p, kind.middle);
      for (int s = graph.edge_start[i]; s < graph.edge_start[i + 1]; ++s) {
        if (s > graph.edge_start[i]) *p++ = ' ';
        p = std::to_chars(p, p + 11, graph.edge_statements[s]).ptr;
      }
      p = put(p, kPath);
      p = write_edge_path(p, lay, e);
      p = put(p, kEnd);
    }
  }
  out.resize(static_cast<std::size_t>(p - out.data()) - (graph.edges.empty() ? 0 : 1));  // no '\n' after the last
}

void render_toolbar(std::string& out, const Graph& graph, std::string_view title) {
  const std::vector<Statement>& statements = *graph.statements;
  const auto direct = std::count_if(graph.edges.begin(), graph.edges.end(), [](const Edge& e) { return !e.indirect; });
  const auto failed = std::count_if(statements.begin(), statements.end(), [](const Statement& s) { return s.failed; });
  const auto warned =
      std::count_if(statements.begin(), statements.end(), [](const Statement& s) { return !s.warnings.empty(); });
  out += "<header id=\"bar\"><strong class=\"title\">";
  append_html(out, title);
  out += "</strong><span class=\"stats\">";
  append_int(out, static_cast<std::int64_t>(graph.tables.size()));
  out += " tables &#xb7; ";
  append_int(out, direct);
  out += " edges &#xb7; ";
  append_int(out, static_cast<std::int64_t>(statements.size()));
  out += " statements";
  if (warned) {
    out += " &#xb7; ";
    append_int(out, warned);
    out += " with warnings";
  }
  out += "</span><button id=\"details\" title=\"the selected column or edge: its statements, SQL and warnings\">"
         "details</button>";
  if (failed) {
    out += "<button id=\"failed\" title=\"statements that did not parse\">";
    append_int(out, failed);
    out += " failed</button>";
  }
  out += "<input id=\"search\" type=\"search\" placeholder=\"Find a table or column\" "
         "title=\"Enter: next match, Shift+Enter: previous\" autocomplete=\"off\"><span id=\"found-count\"></span>"
         "<span class=\"filters\">";
  for (std::string_view k : kDirectKinds) {
    out += "<label class=\"kind\"><input type=\"checkbox\" data-hide=\"k-";
    out += k;
    out += "\" checked><i class=\"swatch k-";
    out += k;
    out += "\"></i>";
    out += k;
    out += "</label>";
  }
  out += "<label class=\"kind\"><input type=\"checkbox\" id=\"show-indirect\"><i class=\"swatch indirect\"></i>"
         "indirect</label><label><input type=\"checkbox\" id=\"show-warnings\" checked>warnings</label></span>"
         "</header>";
}

// The statements, failures and picture size as JSON for the page's script.
void render_data(std::string& out, const Graph& graph, const Layout& lay) {
  const std::vector<Statement>& statements = *graph.statements;
  out += "{\"statements\":[";
  std::string text;
  for (std::size_t k = 0; k < statements.size(); ++k) {
    const Statement& st = statements[k];
    if (k) out += ',';
    out += "{\"file\":";
    append_json_string(out, st.file);
    out += ",\"number\":";
    append_int(out, st.number);
    out += ",\"target\":";
    append_json_string(out, box_name(st));
    out += ",\"kind\":";
    append_json_string(out, st.kind);
    out += ",\"line\":";
    append_int(out, st.start_line);
    out += ",\"sql\":";
    append_json_string(out, st.sql);
    out += ",\"warnings\":[";
    for (std::size_t i = 0; i < st.warnings.size(); ++i) {
      const Warning& w = st.warnings[i];
      text.assign(w.code).append(" (line ").append(std::to_string(w.line)).append(", column ");
      text.append(std::to_string(w.column)).append("): ").append(w.message);
      if (i) out += ',';
      append_json_string(out, text);
    }
    out += "],\"error\":";
    if (st.failed) {
      text.assign(st.error_type).append(": ").append(st.error_message);
      append_json_string(out, text);
    } else {
      out += "null";
    }
    out += '}';
  }
  out += "],\"failed\":[";
  bool first = true;
  for (std::size_t k = 0; k < statements.size(); ++k) {
    if (!statements[k].failed) continue;
    if (!first) out += ',';
    first = false;
    append_int(out, static_cast<std::int64_t>(k));
  }
  out += "],\"width\":";
  append_fixed0(out, lay.width);
  out += ",\"height\":";
  append_fixed0(out, lay.height);
  out += '}';
}

}  // namespace

void render_page(std::string& out, const Graph& graph, const Layout& lay, const PageParts& parts) {
  std::size_t sql = 0;
  for (const Statement& st : *graph.statements) sql += st.sql.size();
  out.reserve(out.size() + parts.css.size() + parts.js.size() + sql + 8192 + graph.edges.size() * 200 +
              graph.tables.size() * 400);
  out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>";
  append_html(out, parts.title);
  out += "</title><style>";
  out += parts.css;
  out += "</style></head>\n<body>";
  render_toolbar(out, graph, parts.title);
  out += "\n<div id=\"zoom\"><button id=\"zoom-in\" title=\"zoom in\">+</button>"
         "<button id=\"zoom-out\" title=\"zoom out\">&#x2212;</button><button id=\"fit\" title=\"fit to the window\">"
         "fit</button></div><main id=\"viewport\">";
  if (graph.tables.empty()) out += "<p class=\"empty\">No lineage to show.</p>";
  out += "<div id=\"world\" style=\"width:";
  append_fixed0(out, lay.width);
  out += "px;height:";
  append_fixed0(out, lay.height);
  out += "px\"><svg id=\"edges\" xmlns=\"http://www.w3.org/2000/svg\" width=\"";
  append_fixed0(out, lay.width);
  out += "\" height=\"";
  append_fixed0(out, lay.height);
  out += "\">\n";
  const EscapedNames names(graph);
  std::vector<KindText> kinds(graph.kinds.size());
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    std::string kind;
    append_html(kind, graph.kinds[k]);
    kinds[k].head[0] = "<path class=\"edge k-" + kind + "\" data-source=\"";
    kinds[k].head[1] = "<path class=\"edge indirect k-" + kind + "\" data-source=\"";
    kinds[k].middle = "\" data-kind=\"" + kind + "\" data-stmts=\"";
  }
  render_edges(out, graph, lay, names, kinds);
  out += "\n</svg>\n";
  for (std::size_t t = 0; t < graph.tables.size(); ++t) {
    if (t) out += '\n';
    render_table(out, graph, lay, names, static_cast<int>(t));
  }
  out += "\n</div></main>\n"
         "<aside id=\"panel\"><button id=\"panel-close\" title=\"close\">&#xd7;</button><div id=\"panel-body\">"
         "<p class=\"hint\">Click a column to follow its lineage, an edge to see the statements behind it. "
         "Drag to pan, wheel to zoom.</p></div></aside>\n"
         "<script type=\"application/json\" id=\"lineage-data\">";
  render_data(out, graph, lay);
  out += "</script>\n<script>";
  out += parts.js;
  out += "</script>\n</body></html>\n";
}

}  // namespace sqlparse::lineage_view
