// Generates the Unicode property and case-mapping tables used by
// src/core/unicode.cpp from the Unicode Character Database.
//
//   gen_unicode <ucd-dir> <out.cpp>
//
// Reads UnicodeData.txt, DerivedCoreProperties.txt, PropList.txt, Scripts.txt
// and SpecialCasing.txt from <ucd-dir> and writes one C++ source holding the
// tables (namespace harvel::unicode::detail). Layouts:
//
//   <property>[][2]       sorted, disjoint, non-adjacent ranges {first, last}
//   latin / cyrillic      the same, for the Script property
//   lower_runs / upper_runs [][4]
//                         simple case mappings as runs {first, last, stride,
//                         delta}: every code point first + k * stride <= last
//                         maps to itself + delta; runs are sorted and disjoint
//   special_lower / special_upper [][4]
//                         unconditional full mappings that differ from the
//                         simple ones: {code point, m1, m2, m3}, zero-padded
//
// Every table is followed by a <name>_size constant. The generator decodes
// each table again and compares it with the parsed data before writing, so a
// packing mistake fails the build instead of shipping wrong answers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

struct Range {
  char32_t first;
  char32_t last;
};

// A set of code points collected as ranges; normalized() sorts them and merges
// overlapping and adjacent ones.
class RangeSet {
 public:
  void add(Range r) { ranges_.push_back(r); }
  const std::vector<Range>& raw() const { return ranges_; }

  std::vector<Range> normalized() const {
    std::vector<Range> sorted = ranges_;
    std::sort(sorted.begin(), sorted.end(),
              [](const Range& a, const Range& b) { return a.first < b.first; });
    std::vector<Range> out;
    for (const Range& r : sorted) {
      if (!out.empty() && r.first <= out.back().last + 1) {
        out.back().last = std::max(out.back().last, r.last);
      } else {
        out.push_back(r);
      }
    }
    return out;
  }

 private:
  std::vector<Range> ranges_;
};

struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string_view trim(std::string_view s) {
  const auto is_space = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; };
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t semi = line.find(';');
    fields.push_back(trim(line.substr(0, semi)));
    if (semi == std::string_view::npos) break;
    line.remove_prefix(semi + 1);
  }
  return fields;
}

char32_t parse_code_point(std::string_view hex) {
  if (hex.empty() || hex.size() > 6) throw DataError("bad code point '" + std::string(hex) + "'");
  std::uint32_t value = 0;
  for (char ch : hex) {
    std::uint32_t digit;
    if (ch >= '0' && ch <= '9') {
      digit = static_cast<std::uint32_t>(ch - '0');
    } else if (ch >= 'A' && ch <= 'F') {
      digit = static_cast<std::uint32_t>(ch - 'A' + 10);
    } else if (ch >= 'a' && ch <= 'f') {
      digit = static_cast<std::uint32_t>(ch - 'a' + 10);
    } else {
      throw DataError("bad code point '" + std::string(hex) + "'");
    }
    value = value * 16 + digit;
  }
  if (value > kMaxCodePoint) throw DataError("code point out of range '" + std::string(hex) + "'");
  return static_cast<char32_t>(value);
}

// "0041" or "0041..005A".
Range parse_range(std::string_view field) {
  const std::size_t dots = field.find("..");
  if (dots == std::string_view::npos) {
    const char32_t c = parse_code_point(field);
    return {c, c};
  }
  const Range r{parse_code_point(field.substr(0, dots)), parse_code_point(field.substr(dots + 2))};
  if (r.last < r.first) throw DataError("reversed range '" + std::string(field) + "'");
  return r;
}

// "0069 0307" (possibly empty).
std::u32string parse_sequence(std::string_view field) {
  std::u32string out;
  while (!field.empty()) {
    const std::size_t space = field.find(' ');
    const std::string_view item = field.substr(0, space);
    if (!item.empty()) out.push_back(parse_code_point(item));
    if (space == std::string_view::npos) break;
    field.remove_prefix(space + 1);
  }
  return out;
}

// Calls fn(fields) for every data line of a UCD file: comments stripped,
// fields split at ';' and trimmed. Errors name the file and line.
template <typename Fn>
void for_each_record(const std::string& path, Fn&& fn) {
  std::ifstream in(path);
  if (!in) throw DataError("cannot open " + path);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string_view data = line;
    data = trim(data.substr(0, data.find('#')));
    if (data.empty()) continue;
    try {
      fn(split_fields(data));
    } catch (const DataError& e) {
      throw DataError(path + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  if (in.bad()) throw DataError("cannot read " + path);
}

void require_fields(const std::vector<std::string_view>& fields, std::size_t n) {
  if (fields.size() < n) throw DataError("expected at least " + std::to_string(n) + " fields");
}

struct Ucd {
  RangeSet alphabetic, uppercase, lowercase, cased, case_ignorable, white_space, numeric;
  RangeSet latin, cyrillic;
  std::map<char32_t, char32_t> simple_lower, simple_upper;
  std::map<char32_t, std::u32string> full_lower, full_upper;
};

void read_unicode_data(const std::string& dir, Ucd& ucd) {
  bool in_range = false;
  char32_t range_first = 0;
  for_each_record(dir + "/UnicodeData.txt", [&](const std::vector<std::string_view>& f) {
    require_fields(f, 15);
    const char32_t c = parse_code_point(f[0]);
    const std::string_view name = f[1];
    Range r{c, c};
    if (name.ends_with(", First>")) {
      if (in_range) throw DataError("nested range start");
      in_range = true;
      range_first = c;
      return;
    }
    if (name.ends_with(", Last>")) {
      if (!in_range || c < range_first) throw DataError("range end without start");
      in_range = false;
      r.first = range_first;
    } else if (in_range) {
      throw DataError("range start without end");
    }
    if (f[2].size() == 2 && f[2][0] == 'N') ucd.numeric.add(r);
    if (!f[12].empty()) {
      if (r.first != r.last) throw DataError("case mapping on a range row");
      ucd.simple_upper[c] = parse_code_point(f[12]);
    }
    if (!f[13].empty()) {
      if (r.first != r.last) throw DataError("case mapping on a range row");
      ucd.simple_lower[c] = parse_code_point(f[13]);
    }
  });
  if (in_range) throw DataError("UnicodeData.txt ends inside a range");
}

void read_properties(const std::string& path,
                     const std::vector<std::pair<std::string_view, RangeSet*>>& wanted) {
  for_each_record(path, [&](const std::vector<std::string_view>& f) {
    require_fields(f, 2);
    for (const auto& [name, set] : wanted) {
      if (f[1] == name) set->add(parse_range(f[0]));
    }
  });
}

void read_special_casing(const std::string& dir, Ucd& ucd) {
  for_each_record(dir + "/SpecialCasing.txt", [&](const std::vector<std::string_view>& f) {
    // code; lower; title; upper; [condition;]
    require_fields(f, 4);
    if (f.size() > 4 && !f[4].empty()) return;  // language- or context-dependent
    const char32_t c = parse_code_point(f[0]);
    const std::u32string lower = parse_sequence(f[1]);
    const std::u32string upper = parse_sequence(f[3]);
    if (lower.size() > 3 || upper.size() > 3) throw DataError("full mapping longer than 3");
    ucd.full_lower[c] = lower;
    ucd.full_upper[c] = upper;
  });
}

// ---- Packing -------------------------------------------------------------

struct CaseRun {
  char32_t first;
  char32_t last;
  std::uint32_t stride;
  std::int32_t delta;
};

// Packs a mapping into runs of equal delta and constant stride (1 for blocks
// such as A-Z, 2 for the alternating upper/lower pairs of Latin Extended).
std::vector<CaseRun> pack_runs(const std::map<char32_t, char32_t>& mapping) {
  std::vector<CaseRun> runs;
  for (const auto& [from, to] : mapping) {
    if (from == to) continue;
    const std::int32_t delta = static_cast<std::int32_t>(to) - static_cast<std::int32_t>(from);
    if (!runs.empty() && runs.back().delta == delta) {
      CaseRun& run = runs.back();
      const char32_t gap = from - run.last;
      if (run.first == run.last && (gap == 1 || gap == 2)) {
        run.stride = gap;
        run.last = from;
        continue;
      }
      if (run.first != run.last && gap == run.stride) {
        run.last = from;
        continue;
      }
    }
    runs.push_back({from, from, 1, delta});
  }
  return runs;
}

char32_t lookup_runs(const std::vector<CaseRun>& runs, char32_t c) {
  auto it = std::upper_bound(runs.begin(), runs.end(), c,
                             [](char32_t v, const CaseRun& r) { return v < r.first; });
  if (it == runs.begin()) return c;
  --it;
  if (c > it->last || (c - it->first) % it->stride != 0) return c;
  return static_cast<char32_t>(static_cast<std::int32_t>(c) + it->delta);
}

bool in_ranges(const std::vector<Range>& ranges, char32_t c) {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), c,
                             [](char32_t v, const Range& r) { return v < r.first; });
  return it != ranges.begin() && c <= std::prev(it)->last;
}

void verify_ranges(const char* name, const RangeSet& set, const std::vector<Range>& packed) {
  if (packed.empty()) throw DataError(std::string("no code points for ") + name);
  std::vector<bool> expected(kMaxCodePoint + 1);
  for (const Range& r : set.raw()) {
    for (char32_t c = r.first; c <= r.last; ++c) expected[c] = true;
  }
  for (char32_t c = 0; c <= kMaxCodePoint; ++c) {
    if (in_ranges(packed, c) != expected[c]) throw DataError(std::string("packing error in ") + name);
  }
}

void verify_runs(const char* name, const std::map<char32_t, char32_t>& mapping,
                 const std::vector<CaseRun>& runs) {
  if (runs.empty()) throw DataError(std::string("no mappings for ") + name);
  for (char32_t c = 0; c <= kMaxCodePoint; ++c) {
    const auto it = mapping.find(c);
    const char32_t expected = it == mapping.end() ? c : it->second;
    if (lookup_runs(runs, c) != expected) throw DataError(std::string("packing error in ") + name);
  }
}

// Full mappings that say something the simple mapping does not.
std::map<char32_t, std::u32string> special_entries(const std::map<char32_t, std::u32string>& full,
                                                   const std::map<char32_t, char32_t>& simple) {
  std::map<char32_t, std::u32string> out;
  for (const auto& [c, mapped] : full) {
    const auto it = simple.find(c);
    const char32_t single = it == simple.end() ? c : it->second;
    if (mapped.empty()) throw DataError("empty full mapping");
    if (mapped != std::u32string(1, single)) out[c] = mapped;
  }
  if (out.empty()) throw DataError("no special case mappings");
  return out;
}

// ---- Output --------------------------------------------------------------

std::string hex(std::uint32_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << v;
  return s.str();
}

// "{a,b,c}"
std::string row(std::initializer_list<std::string> cells) {
  std::string out = "{";
  for (const std::string& cell : cells) {
    if (out.size() > 1) out += ',';
    out += cell;
  }
  out += '}';
  return out;
}

class Writer {
 public:
  void ranges(const char* name, const std::vector<Range>& rs) {
    std::vector<std::string> items;
    for (const Range& r : rs) items.push_back(row({hex(r.first), hex(r.last)}));
    table("char32_t", name, 2, items);
  }

  void runs(const char* name, const std::vector<CaseRun>& rs) {
    std::vector<std::string> items;
    for (const CaseRun& r : rs) {
      items.push_back(
          row({hex(r.first), hex(r.last), std::to_string(r.stride), std::to_string(r.delta)}));
    }
    table("std::int32_t", name, 4, items);
  }

  void specials(const char* name, const std::map<char32_t, std::u32string>& entries) {
    std::vector<std::string> items;
    for (const auto& [c, mapped] : entries) {
      const auto at = [&](std::size_t i) { return hex(i < mapped.size() ? mapped[i] : 0); };
      items.push_back(row({hex(c), at(0), at(1), at(2)}));
    }
    table("char32_t", name, 4, items);
  }

  std::string text() const { return out_.str(); }

  std::ostringstream& stream() { return out_; }

 private:
  void table(const char* type, const char* name, int width, const std::vector<std::string>& items) {
    std::ostringstream decl;
    decl << "const " << type << " " << name << "[][" << width << "]";
    out_ << "\nextern " << decl.str() << ";\n" << decl.str() << " = {\n";
    std::size_t column = 0;
    for (const std::string& item : items) {
      if (column + item.size() + 1 > 100) {
        out_ << "\n";
        column = 0;
      }
      out_ << item << ",";
      column += item.size() + 1;
    }
    out_ << "\n};\n";
    out_ << "extern const std::size_t " << name << "_size;\n";
    out_ << "const std::size_t " << name << "_size = " << items.size() << ";\n";
  }

  std::ostringstream out_;
};

int run(const std::string& dir, const std::string& out_path) {
  Ucd ucd;
  read_unicode_data(dir, ucd);
  read_properties(dir + "/DerivedCoreProperties.txt", {{"Alphabetic", &ucd.alphabetic},
                                                       {"Uppercase", &ucd.uppercase},
                                                       {"Lowercase", &ucd.lowercase},
                                                       {"Cased", &ucd.cased},
                                                       {"Case_Ignorable", &ucd.case_ignorable}});
  read_properties(dir + "/PropList.txt", {{"White_Space", &ucd.white_space}});
  read_properties(dir + "/Scripts.txt", {{"Latin", &ucd.latin}, {"Cyrillic", &ucd.cyrillic}});
  read_special_casing(dir, ucd);

  const std::pair<const char*, const RangeSet*> properties[] = {
      {"alphabetic", &ucd.alphabetic}, {"uppercase", &ucd.uppercase},
      {"lowercase", &ucd.lowercase},   {"cased", &ucd.cased},
      {"case_ignorable", &ucd.case_ignorable}, {"white_space", &ucd.white_space},
      {"numeric", &ucd.numeric},       {"latin", &ucd.latin},
      {"cyrillic", &ucd.cyrillic},
  };
  const std::vector<CaseRun> lower_runs = pack_runs(ucd.simple_lower);
  const std::vector<CaseRun> upper_runs = pack_runs(ucd.simple_upper);
  verify_runs("lower_runs", ucd.simple_lower, lower_runs);
  verify_runs("upper_runs", ucd.simple_upper, upper_runs);

  Writer w;
  w.stream() << "// Generated by tools/gen_unicode.cpp from the Unicode Character Database.\n"
                "// Do not edit.\n\n"
                "#include <cstddef>\n#include <cstdint>\n\n"
                "namespace harvel::unicode::detail {\n";
  for (const auto& [name, set] : properties) {
    const std::vector<Range> packed = set->normalized();
    verify_ranges(name, *set, packed);
    w.ranges(name, packed);
  }
  w.runs("lower_runs", lower_runs);
  w.runs("upper_runs", upper_runs);
  w.specials("special_lower", special_entries(ucd.full_lower, ucd.simple_lower));
  w.specials("special_upper", special_entries(ucd.full_upper, ucd.simple_upper));
  w.stream() << "\n}  // namespace harvel::unicode::detail\n";

  const std::string text = w.text();
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) throw DataError("cannot write " + out_path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: gen_unicode <ucd-dir> <out.cpp>\n";
    return 2;
  }
  try {
    return run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "gen_unicode: " << e.what() << "\n";
    std::remove(argv[2]);
    return 1;
  }
}
