// The core called from several std::threads at once, on shared and on
// distinct inputs. Every job is first run serially; then the threads run all
// jobs in different orders for a few seconds and every result must equal the
// serial one. Run under ThreadSanitizer by tools/run_tsan.sh (any data race
// fails it) and under AddressSanitizer by tools/run_sanitized_tests.sh.
//
//   concurrency_test [seconds=3] [threads=8]
//   concurrency_test handoff
//
// The second form runs one more scenario on its own: a tree built on one
// thread, handed to another under a mutex, read and dropped by the first
// while the second changes its copy. The second thread may see itself as the
// only owner and change the payload in place; that is only race-free if the
// copy-on-write check synchronises with the other owner's release.
//
// Shared inputs are the same std::string and the same Node trees read by all
// threads (the trees' payloads are reference counted and copy-on-write, so
// copying a shared tree and changing the copy on one thread must not be seen
// by the others).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "arrow_edges/edges.h"
#include "lineage/batch.h"
#include "lineage/lineage.h"
#include "sql_parser/parser.h"
#include "sqlparse_main/analyze/analyze.h"
#include "sqlparse_main/front_end/batch.h"
#include "sqlparse_main/front_end/pipeline.h"
#include "sqlparse_main/front_end/re_hint.h"
#include "syntax/parser.h"
#include "tree/node.h"

namespace {

using sqlparse::Map;
using sqlparse::Node;

struct Job {
  std::string name;
  std::function<std::string()> run;  // returns a fingerprint of the result
  std::string expected;
};

std::string triples_text(const std::vector<sqlparse::LineageTriple>& triples) {
  std::string out;
  for (const auto& t : triples) {
    out += sqlparse::to_json(t.table) + "|" + sqlparse::to_json(t.src) + "|" +
           sqlparse::to_json(t.tgt) + ";";
  }
  return out;
}

// The statement grammar and the full lineage of a script, as text: parsed
// with errors collected, so a broken statement is part of the answer.
std::string full_lineage_text(const std::string& text) {
  static const sqlparse::syntax::Dialect dialect = *sqlparse::syntax::dialect_by_name("generic");
  static const sqlparse::lineage::Schema schema = [] {
    sqlparse::lineage::Schema s;
    s.add_table({"db", "t"}, {"a", "b", "c"});
    return s;
  }();
  std::string out;
  try {
    auto script = sqlparse::syntax::parse_script(text, dialect, /*collect_errors=*/true);
    for (const auto& st : script->statements) {
      if (st.tree != nullptr) out += sqlparse::syntax::print_sql(*st.tree);
      if (st.error) out += "error:" + st.error->message;
      out += "\n";
    }
    const sqlparse::lineage::ScriptLineage lineage = sqlparse::lineage::analyze_lineage(*script, schema);
    for (const auto& st : lineage.statements) {
      out += st.kind + ":";
      for (const auto& c : st.columns) {
        out += c.name + "(";
        for (const auto& s : c.sources) out += s.table + "." + s.column + "/" + s.kind + ",";
        out += ")";
      }
      for (const auto& w : st.warnings) out += "!" + w.code;
      out += "\n";
    }
  } catch (const std::exception& e) {
    out += std::string("unexpected exception: ") + e.what();
  }
  return out;
}

// Runs fn and turns every outcome, errors included, into text: an error is a
// result like any other, and must be the same error on every thread.
template <typename F>
std::string outcome(F&& fn) {
  try {
    return "ok:" + fn();
  } catch (const sqlparse::sql_parser::ParseError& e) {
    return std::string("ParseError:") + e.what();
  } catch (const sqlparse::AnalysisError& e) {
    return std::string("AnalysisError:") + e.what();
  } catch (const std::exception& e) {
    return std::string("unexpected exception: ") + e.what();
  } catch (...) {
    return "unexpected exception of unknown type";
  }
}

const char* const kQueries[] = {
    "select s.a as x from (select a from db.t) s -- c",
    "SELECT /*+ MAPJOIN(b) */ a, b AS c FROM db.t",
    "select a from t union select b from u",
    "select a from t union all select b from db.u union select c from v",
    "select s.* from (select a, b from db.t) s",
    "select t1.a, t1.b as bb from db.t1 t1",
    "select x.a from (select y.a from (select a from db.deep) y) x",
    "select a, b from t join u on t.k = u.k",      // unsupported FROM shape
    "select a from t, u",                          // unsupported FROM shape
    "select s.a from (select 1 as a) s",           // whatever the analyser makes of it
    "select from where",                           // parse error
    "select a from (select b from",                // parse error
    "select case when a > 1 then b else c end as d from db.t",
    "select count(*) as n, max(a) m from db.t group by b",
    "select a from t where a in (select b from u)",
};

std::vector<Job> make_jobs(int distinct_copies) {
  std::vector<Job> jobs;

  // Shared texts: the same std::string objects for every thread.
  static std::vector<std::string> shared_texts;
  shared_texts.clear();
  for (const char* q : kQueries) shared_texts.emplace_back(q);
  std::string big;
  for (int i = 0; i < 200; ++i) {
    big += "select a" + std::to_string(i) + " /* c */ from db.t -- x\n\n";
  }
  shared_texts.push_back(big);

  for (const std::string& text : shared_texts) {
    const std::string* t = &text;
    jobs.push_back({"re_hint shared", [t] { return sqlparse::re_hint(*t); }, ""});
    jobs.push_back({"parse shared", [t] {
                      return outcome([&] { return sqlparse::to_json(sqlparse::sql_parser::parse(*t)); });
                    }, ""});
    jobs.push_back({"pipeline shared", [t] {
                      return outcome([&] { return triples_text(sqlparse::lineage_of_text(*t)); });
                    }, ""});
    jobs.push_back({"full lineage shared", [t] { return full_lineage_text(*t); }, ""});
  }

  // Shared trees: parsed once, analysed by every thread at the same time.
  static std::vector<Node> shared_trees;
  shared_trees.clear();
  for (const std::string& text : shared_texts) {
    try {
      shared_trees.push_back(sqlparse::sql_parser::parse(sqlparse::re_hint(text)));
    } catch (const sqlparse::sql_parser::ParseError&) {
    }
  }
  for (const Node& tree : shared_trees) {
    const Node* t = &tree;
    jobs.push_back({"analyze shared tree", [t] {
                      return outcome([&] {
                        sqlparse::Analyze analyze(*t);
                        return triples_text(analyze.analyze_sql(0));
                      });
                    }, ""});
    // A copy of the shared tree changed on this thread: the change stays
    // local (copy on write) and the shared tree still analyses the same.
    jobs.push_back({"copy-on-write of shared tree", [t] {
                      Node copy = *t;
                      if (copy.is_map()) {
                        copy.mutable_map().set("select", Node::string("thread_local_column"));
                        copy.mutable_map().set("extra", Node::integer(1));
                      }
                      return sqlparse::to_json(copy) + "#" + sqlparse::to_json(*t);
                    }, ""});
  }

  // A batch on its own worker threads, inside each test thread: the batch's
  // caller reads every outcome in place and releases it, so outcomes are freed
  // by the workers that made them while those workers go on analysing.
  static std::vector<std::string_view> batch_texts;
  batch_texts.clear();
  for (int copy = 0; copy < 8; ++copy) {
    for (const std::string& text : shared_texts) batch_texts.emplace_back(text);
  }
  jobs.push_back({"batch with release", [] {
                    sqlparse::BatchRun run(batch_texts, 3);
                    std::string out;
                    for (std::size_t i = 0; i < run.size(); ++i) {
                      const sqlparse::BatchOutcome& o = run.wait(i);
                      using Triples = std::vector<sqlparse::LineageTriple>;
                      using sqlparse::sql_parser::ParseError;
                      if (const auto* triples = std::get_if<Triples>(&o)) {
                        out += "ok:" + triples_text(*triples);
                      } else if (const auto* e = std::get_if<ParseError>(&o)) {
                        out += std::string("ParseError:") + e->what();
                      } else if (const auto* e = std::get_if<sqlparse::AnalysisError>(&o)) {
                        out += std::string("AnalysisError:") + e->what();
                      } else {
                        out += "unexpected exception";
                      }
                      out += "\n";
                      run.release(i);
                    }
                    return out;
                  }, ""});

  // The full lineage's batch: workers free the outcomes they made while the
  // caller reads earlier ones.
  jobs.push_back({"lineage batch with release", [] {
                    static const sqlparse::syntax::Dialect dialect = *sqlparse::syntax::dialect_by_name("generic");
                    static const sqlparse::lineage::Schema schema;
                    sqlparse::lineage::LineageBatch run(batch_texts, dialect, schema, 3);
                    std::string out;
                    for (std::size_t i = 0; i < run.size(); ++i) {
                      const sqlparse::lineage::ScriptOutcome& o = run.wait(i);
                      if (const auto* lineage = std::get_if<sqlparse::lineage::ScriptLineage>(&o)) {
                        for (const auto& st : lineage->statements) {
                          out += st.kind + ":" + std::to_string(st.columns.size()) + ";";
                        }
                      } else {
                        out += "unexpected exception";
                      }
                      out += "\n";
                      run.release(i);
                    }
                    return out;
                  }, ""});

  // The Arrow edge kernel: the batch on worker threads, then edge columns
  // built and released on this thread.
  jobs.push_back({"arrow edges", [] {
                    static const sqlparse::syntax::Dialect dialect = *sqlparse::syntax::dialect_by_name("generic");
                    static const sqlparse::lineage::Schema schema;
                    sqlparse::arrow_edges::TextColumn texts;
                    for (std::string_view t : batch_texts) {
                      texts.texts.push_back(t);
                      texts.states.push_back(sqlparse::arrow_edges::TextState::kText);
                      texts.bad_byte.push_back(0);
                    }
                    auto batches = sqlparse::arrow_edges::lineage_edges(texts, dialect, schema, 3);
                    std::string out;
                    for (auto& batch : batches) {
                      const ArrowArray* source = batch.array()->children[6];  // source_column
                      const auto* offsets = static_cast<const std::int32_t*>(source->buffers[1]);
                      const char* data = static_cast<const char*>(source->buffers[2]);
                      out += std::to_string(batch.length()) + ":";
                      out.append(data, static_cast<std::size_t>(offsets[source->length]));
                      out += "\n";
                    }
                    return out;
                  }, ""});

  // Distinct inputs: texts and trees that only one job uses.
  for (int i = 0; i < distinct_copies; ++i) {
    std::string n = std::to_string(i);
    std::string text = "select s.c" + n + " as out" + n + " from (select c" + n +
                       " from db.t" + n + ") s /* " + n + " */ -- tail\n";
    jobs.push_back({"pipeline distinct", [text] {
                      return outcome([&] { return triples_text(sqlparse::lineage_of_text(text)); });
                    }, ""});
    jobs.push_back({"full lineage distinct", [text] { return full_lineage_text(text); }, ""});
    jobs.push_back({"parse and analyse distinct", [text] {
                      return outcome([&] {
                        Node tree = sqlparse::sql_parser::parse(sqlparse::re_hint(text));
                        sqlparse::Analyze analyze(tree);
                        return triples_text(analyze.analyze_sql(0));
                      });
                    }, ""});
  }
  return jobs;
}

int run_handoff() {
  std::mutex mu;
  std::vector<Node> slot;
  std::atomic<bool> done{false};
  constexpr int kRounds = 20000;
  std::thread consumer([&] {
    for (int i = 0; i < kRounds;) {
      std::vector<Node> got;
      {
        std::lock_guard<std::mutex> lock(mu);
        got.swap(slot);
      }
      if (got.empty()) {
        std::this_thread::yield();
        continue;
      }
      got[0].mutable_map().set("k", Node::integer(i));
      ++i;
    }
    done.store(true);
  });
  for (int i = 0; i < kRounds && !done.load();) {
    Map m;
    m.append("a", Node::string("x"));
    m.append("k", Node::integer(0));
    Node n = Node::map(std::move(m));
    {
      std::lock_guard<std::mutex> lock(mu);
      if (!slot.empty()) continue;
      slot.push_back(n);
    }
    if (sqlparse::to_json(n).empty()) std::abort();  // a read after the hand-off
    ++i;
  }
  consumer.join();
  std::printf("concurrency_test handoff: %d rounds\n", kRounds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "handoff") return run_handoff();
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 8;

  std::vector<Job> jobs = make_jobs(threads * 4);
  for (Job& job : jobs) job.expected = job.run();

  std::atomic<bool> stop{false};
  std::atomic<long> runs{0};
  std::atomic<int> failures{0};
  std::mutex report_mutex;

  std::vector<std::thread> workers;
  for (int w = 0; w < threads; ++w) {
    workers.emplace_back([&, w] {
      // Each thread walks the jobs from its own start with its own stride,
      // so different jobs (and the same job) overlap in many combinations.
      const std::size_t n = jobs.size();
      std::size_t k = static_cast<std::size_t>(w) * 7 % n;
      const std::size_t stride = 1 + 2 * static_cast<std::size_t>(w) % (n > 1 ? n - 1 : 1);
      long local_runs = 0;
      do {
        for (std::size_t step = 0; step < n; ++step) {
          const Job& job = jobs[k];
          std::string got = job.run();
          if (got != job.expected) {
            std::lock_guard<std::mutex> lock(report_mutex);
            if (failures.fetch_add(1) < 5) {
              std::fprintf(stderr, "thread %d, job %s: got\n  %s\nexpected\n  %s\n", w,
                           job.name.c_str(), got.c_str(), job.expected.c_str());
            }
          }
          k = (k + stride) % n;
          ++local_runs;
        }
      } while (!stop.load());
      runs.fetch_add(local_runs);
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop.store(true);
  for (auto& t : workers) t.join();

  int unexpected = 0, ok = 0, parse_errors = 0, analysis_errors = 0;
  for (const Job& job : jobs) {
    ok += job.expected.rfind("ok:", 0) == 0;
    parse_errors += job.expected.rfind("ParseError:", 0) == 0;
    analysis_errors += job.expected.rfind("AnalysisError:", 0) == 0;
    if (job.expected.rfind("unexpected exception", 0) == 0) {
      std::fprintf(stderr, "job %s failed serially: %s\n", job.name.c_str(), job.expected.c_str());
      ++unexpected;
    }
  }
  std::printf("concurrency_test: %d threads, %zu jobs (%d ok, %d parse errors, %d analysis errors), "
              "%ld runs in %.1f s, %d mismatches, %d unexpected errors\n",
              threads, jobs.size(), ok, parse_errors, analysis_errors, runs.load(), seconds,
              failures.load(), unexpected);
  return failures.load() == 0 && unexpected == 0 ? 0 : 1;
}
