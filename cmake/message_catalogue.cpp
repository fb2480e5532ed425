// Builds the message catalogue of the libraries that link no Qt from its text files, one per
// language (translations/messages_ja.txt, translations/messages_en.txt, ...):
//
//   message_catalogue OUT_HEADER OUT_SOURCE SOURCE_FILE LANGUAGE_FILE...
//
// The first file, Japanese, is the source: its messages, in their order, are the message ids.
// Every other file must give every id exactly once, with the same placeholders, and no id the
// source lacks; anything else stops the build with the file, the line and what is wrong, so a
// translator sees at once which messages are missing. The header declares the ids and one
// function a message that takes its arguments; the source holds the texts.
//
// A file is UTF-8, one message a line:
//
//   # a remark (a line beginning with "#"); empty lines are ignored
//   LineFileError = 路線ファイルに誤りがあります。{1}:{2}
//
// The text is everything after the first " = ", taken verbatim; "\n" is a line break, "\s" a
// blank (for a text that begins or ends with one), "\\" a backslash. {1} to {9} are the
// arguments, which a translation may put in any order.
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
  std::string id;
  std::string text;  // escapes resolved
  std::set<int> placeholders;
  int line = 0;
};

struct Catalogue {
  std::string file;
  std::string language;  // from the file name: messages_LANGUAGE.txt
  std::vector<Entry> entries;
};

bool fail(const std::string& where, const std::string& what) {
  std::cerr << where << ": " << what << '\n';
  return false;
}

bool validUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t more = c < 0x80             ? 0
                             : (c & 0xE0) == 0xC0 ? 1
                             : (c & 0xF0) == 0xE0 ? 2
                             : (c & 0xF8) == 0xF0 ? 3
                                                  : 9;
    if (more == 9 || (more > 0 && i + more >= s.size())) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += more + 1;
  }
  return true;
}

bool validId(const std::string& id) {
  if (id.empty() || !(id[0] >= 'A' && id[0] <= 'Z')) return false;
  for (char c : id) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool readCatalogue(const std::string& file, Catalogue& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return fail(file, "cannot be read");
  out.file = file;
  const std::size_t slash = file.find_last_of('/');
  const std::string base = file.substr(slash == std::string::npos ? 0 : slash + 1);
  if (base.rfind("messages_", 0) != 0 || base.size() < 14 ||
      base.substr(base.size() - 4) != ".txt") {
    return fail(file, "a catalogue is named messages_LANGUAGE.txt");
  }
  out.language = base.substr(9, base.size() - 13);
  std::set<std::string> seen;
  std::string raw;
  int number = 0;
  bool ok = true;
  while (std::getline(in, raw)) {
    ++number;
    const std::string where = file + ":" + std::to_string(number);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (raw.empty() || raw[0] == '#') continue;
    if (!validUtf8(raw)) {
      ok = fail(where, "the line is not UTF-8");
      continue;
    }
    const std::size_t eq = raw.find(" = ");
    if (eq == std::string::npos) {
      ok = fail(where, "a message is written ID = TEXT");
      continue;
    }
    Entry e;
    e.id = raw.substr(0, eq);
    e.line = number;
    if (!validId(e.id)) {
      ok = fail(where,
                "\"" + e.id + "\" is no message id (a capital letter, then letters and digits)");
      continue;
    }
    if (!seen.insert(e.id).second) {
      ok = fail(where, e.id + " is given twice");
      continue;
    }
    const std::string text = raw.substr(eq + 3);
    if (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
      ok = fail(where, e.id + " ends with a blank: write it as \\s");
      continue;
    }
    bool lineOk = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\') {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (next == 'n') {
          e.text += '\n';
        } else if (next == 's') {
          e.text += ' ';
        } else if (next == '\\') {
          e.text += '\\';
        } else {
          lineOk = fail(where, e.id + ": \\" + std::string(1, next) +
                                   " is no escape (\\n, \\s and \\\\ are)");
          break;
        }
        ++i;
        continue;
      }
      if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}' && text[i + 1] >= '1' &&
          text[i + 1] <= '9') {
        e.placeholders.insert(text[i + 1] - '0');
      }
      e.text += text[i];
    }
    if (!lineOk) {
      ok = false;
      continue;
    }
    // The arguments are numbered from 1 without a gap: {3} needs {1} and {2}.
    int expected = 1;
    for (int p : e.placeholders) {
      if (p != expected) {
        lineOk = fail(where, e.id + " uses {" + std::to_string(p) + "} without {" +
                                 std::to_string(expected) + "}");
        break;
      }
      ++expected;
    }
    if (!lineOk) {
      ok = false;
      continue;
    }
    out.entries.push_back(std::move(e));
  }
  return ok;
}

// A C++ string literal of UTF-8 bytes (escaped byte by byte, so no character set matters).
std::string literal(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  return out + "\"";
}

std::string functionName(const std::string& id) {
  std::string name = id;
  name[0] = static_cast<char>(name[0] - 'A' + 'a');
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: message_catalogue OUT_HEADER OUT_SOURCE SOURCE_FILE LANGUAGE_FILE...\n";
    return 2;
  }
  std::vector<Catalogue> catalogues(static_cast<std::size_t>(argc - 3));
  bool ok = true;
  for (int i = 3; i < argc; ++i) {
    ok = readCatalogue(argv[i], catalogues[static_cast<std::size_t>(i - 3)]) && ok;
  }
  if (!ok) return 1;
  const Catalogue& source = catalogues[0];
  std::map<std::string, const Entry*> sourceIds;
  for (const Entry& e : source.entries) sourceIds[e.id] = &e;

  // Every other language: the same ids, each once, with the same placeholders.
  std::vector<std::vector<const Entry*>> ordered(catalogues.size());
  for (std::size_t c = 0; c < catalogues.size(); ++c) {
    const Catalogue& cat = catalogues[c];
    std::map<std::string, const Entry*> ids;
    for (const Entry& e : cat.entries) {
      const std::string where = cat.file + ":" + std::to_string(e.line);
      const auto it = sourceIds.find(e.id);
      if (it == sourceIds.end()) {
        ok = fail(where, e.id + " is not a message of " + source.file);
        continue;
      }
      if (e.placeholders != it->second->placeholders) {
        ok = fail(where, e.id + " must use the arguments of " + source.file + ":" +
                             std::to_string(it->second->line) + " (" +
                             std::to_string(it->second->placeholders.size()) + ")");
      }
      ids[e.id] = &e;
    }
    for (const Entry& s : source.entries) {
      const auto it = ids.find(s.id);
      if (it == ids.end()) {
        ok = fail(cat.file,
                  "no text for " + s.id + " (" + source.file + ":" + std::to_string(s.line) + ")");
        continue;
      }
      ordered[c].push_back(it->second);
    }
  }
  if (!ok) return 1;

  std::ostringstream h;
  // Files are named without their folder, so the output is the same in every checkout.
  const auto shortName = [](const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    return "translations/" + file.substr(slash == std::string::npos ? 0 : slash + 1);
  };
  h << "// Generated by cmake/message_catalogue.cpp from " << shortName(source.file)
    << ": do not edit.\n"
       "// The message ids of the libraries without Qt, and one function a message that takes "
       "its\n// arguments.\n#pragma once\n\n#include \"platform/message.h\"\n\n"
       "namespace dravolin::msg {\n\nenum class Id : int {\n";
  for (const Entry& e : source.entries) h << "  " << e.id << ",\n";
  h << "};\n\ninline constexpr int kMessageCount = " << source.entries.size() << ";\n\n";
  for (const Entry& e : source.entries) {
    std::string text = e.text;
    for (std::size_t p = 0; (p = text.find('\n', p)) != std::string::npos;)
      text.replace(p, 1, "\\n");
    h << "// " << text << '\n';
    h << "inline Message " << functionName(e.id) << '(';
    const int n = static_cast<int>(e.placeholders.size());
    for (int a = 1; a <= n; ++a) h << (a > 1 ? ", " : "") << "Arg a" << a;
    h << ") {\n  return Message(Id::" << e.id << ", {";
    for (int a = 1; a <= n; ++a) h << (a > 1 ? ", " : "") << "std::move(a" << a << ')';
    h << "});\n}\n";
  }
  h << "\n}  // namespace dravolin::msg\n";

  std::ostringstream s;
  s << "// Generated by cmake/message_catalogue.cpp: do not edit.\n"
       "#include \"platform/message_ids.h\"\n\nnamespace dravolin::msg::detail {\n\n"
       "extern const int kLanguageTextCount = "
    << catalogues.size() << ";\nextern const char* const kLanguageCodes[] = {";
  for (const Catalogue& c : catalogues) s << literal(c.language) << ", ";
  s << "};\n\nextern const char* const kIdNames[] = {\n";
  for (const Entry& e : source.entries) s << "    " << literal(e.id) << ",\n";
  s << "};\n\nextern const int kArgumentCounts[] = {";
  for (const Entry& e : source.entries) s << e.placeholders.size() << ", ";
  s << "};\n\n";
  for (std::size_t c = 0; c < catalogues.size(); ++c) {
    s << "// " << shortName(catalogues[c].file) << "\nstatic const char* const kTexts" << c
      << "[] = {\n";
    for (const Entry* e : ordered[c]) s << "    " << literal(e->text) << ",\n";
    s << "};\n\n";
  }
  s << "extern const char* const* const kTexts[] = {";
  for (std::size_t c = 0; c < catalogues.size(); ++c) s << "kTexts" << c << ", ";
  s << "};\n\n}  // namespace dravolin::msg::detail\n";

  // Written only when changed, so that an unchanged catalogue rebuilds nothing.
  const auto write = [](const char* path, const std::string& text) {
    {
      std::ifstream old(path, std::ios::binary);
      std::ostringstream was;
      was << old.rdbuf();
      if (old && was.str() == text) return true;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
  };
  if (!write(argv[1], h.str()) || !write(argv[2], s.str())) {
    std::cerr << "message_catalogue: cannot write " << argv[1] << " or " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
