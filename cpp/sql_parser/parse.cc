// parse(): the statement grammar in its classic mode, then the classic tree
// rendered from the typed syntax tree.
#include <memory>
#include <string>
#include <vector>

#include "sql_parser/parser.h"
#include "sql_parser/render/classic_render.h"
#include "syntax/classic_mode.h"
#include "syntax/parser.h"

namespace sqlparse::sql_parser {
namespace {

// A statement the classic mode accepted but the renderer has no classic shape
// for. The two are built to agree, so this is a fault of ours; it still
// reaches the caller as the ParseError parse() promises, at the statement.
[[noreturn]] void refuse_unrendered(std::string_view text, std::size_t byte, const RenderError& why) {
  throw syntax::classic_error(text, byte, std::string("classic syntax (not ") + why.what() + ")", false);
}

}  // namespace

Node parse(std::string_view utf8_text) {
  std::unique_ptr<syntax::Script> script = syntax::parse_script(utf8_text, syntax::classic_dialect());
  const syntax::ScriptStatement& statement = script->statements[0];
  try {
    return render_classic(*statement.tree, script->dialect);
  } catch (const RenderError& e) {
    refuse_unrendered(utf8_text, statement.span.begin, e);
  }
}

std::size_t count_nodes(const Node& tree) {
  std::size_t count = 0;
  std::vector<const Node*> stack{&tree};
  while (!stack.empty()) {
    const Node* n = stack.back();
    stack.pop_back();
    ++count;
    if (n->is_list()) {
      for (const Node& c : n->as_list()) stack.push_back(&c);
    } else if (n->is_map()) {
      for (const auto& [key, value] : n->as_map()) stack.push_back(&value);
    }
  }
  return count;
}

}  // namespace sqlparse::sql_parser
