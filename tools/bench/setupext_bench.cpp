// Measures template localisation the way users meet it: a synthetic template tree localised
// through the exported operation, against the floor program (only the calls any
// implementation needs, plain and with each output flushed), a plain copy of the same tree and
// sed, the peak memory on one very large page, and how the time grows with the number of
// pages.
// Prints figures only; targets are reported as met or missed, never enforced.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "floor.h"
#include "host_table.h"
#include "loaded_module.h"
#include "process.h"
#include "template/page_text.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: setupext-bench --dir FOLDER [options]\n"
    "\n"
    "Generates synthetic template trees in FOLDER (emptied first) and prints how fast the\n"
    "module's fctLocaliseTemplate localises them, against the floor program (the naive calls,\n"
    "plain and durable), a plain copy and sed.\n"
    "\n"
    "  --module PATH          module to load (default: the one beside this program)\n"
    "  --cases LIST           comma list of tree,sed,memory,growth,rules (default: all; sed needs\n"
    "                         tree unless alone; rules: the page rules alone, in memory)\n"
    "  --folders N            tree: folders (40)\n"
    "  --pages N              tree: pages per folder (100)\n"
    "  --page-kb N            tree and growth: page size in KiB (8)\n"
    "  --rounds N             rounds per timed case, each on fresh copies (5)\n"
    "  --growth-folders N     growth: folders at 1x (4)\n"
    "  --growth-pages N       growth: pages per folder (25)\n"
    "  --growth-factors LIST  growth: multiples of the folder count (1,4,16)\n"
    "  --memory-mb N          memory: size of the one large page in MiB (256)\n"
    "  --sed-seconds S        show S as the sed figure instead of running sed (a figure timed\n"
    "                         by the native bench where sed cannot run)\n"
    "  --quick                small sizes for a smoke run (flags after it still apply)\n"
    "  --floor TREE           run only the floor program over TREE once, e.g. to trace its calls:\n"
    "                         the naive calls any implementation needs (no checks, moves in a\n"
    "                         second walk); no flush, or with --durable each output flushed\n"
    "                         before its page is deleted\n"
    "  --generate TREE        only write a tree of --folders x --pages pages of --page-kb into TREE\n";

struct Options {
  std::string dir;
  std::string module;
  bool tree = true, sed = true, memory = true, growth = true, rules = true;
  int folders = 40, pages = 100, page_kb = 8, rounds = 5;
  int growth_folders = 4, growth_pages = 25;
  std::vector<int> growth_factors{1, 4, 16};
  int memory_mb = 256;
  double sed_seconds = -1;
  // Child mode: localise one tree and write this process's peak memory to a file.
  std::string localise_once;
  std::string peak_file;
  // Floor mode: the floor program alone over one tree; generate mode: only the tree.
  std::string floor_tree;
  std::string generate_tree;
  setupext::Durability durability = setupext::Durability::kNone;
};

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "setupext-bench: %s\n", message.c_str());
  std::exit(2);
}

int ParseInt(std::string_view text, std::string_view flag) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0)
    Die("not a count: " + std::string(flag) + " " + std::string(text));
  return value;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  while (true) {
    std::size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string_view flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (flag == "--durable") {
      o.durability = setupext::Durability::kFlushed;
      continue;
    }
    if (flag == "--quick") {
      o.folders = 4, o.pages = 10, o.rounds = 3;
      o.growth_folders = 2, o.growth_pages = 5, o.growth_factors = {1, 4};
      o.memory_mb = 4;
      continue;
    }
    if (i + 1 >= argc) Die("missing value after " + std::string(flag));
    std::string_view value = argv[++i];
    if (flag == "--dir") o.dir = value;
    else if (flag == "--module") o.module = value;
    else if (flag == "--folders") o.folders = ParseInt(value, flag);
    else if (flag == "--pages") o.pages = ParseInt(value, flag);
    else if (flag == "--page-kb") o.page_kb = ParseInt(value, flag);
    else if (flag == "--rounds") o.rounds = ParseInt(value, flag);
    else if (flag == "--growth-folders") o.growth_folders = ParseInt(value, flag);
    else if (flag == "--growth-pages") o.growth_pages = ParseInt(value, flag);
    else if (flag == "--memory-mb") o.memory_mb = ParseInt(value, flag);
    else if (flag == "--localise-once") o.localise_once = value;
    else if (flag == "--peak-file") o.peak_file = value;
    else if (flag == "--floor") o.floor_tree = value;
    else if (flag == "--generate") o.generate_tree = value;
    else if (flag == "--sed-seconds") {
      o.sed_seconds = std::atof(std::string(value).c_str());
      if (o.sed_seconds <= 0) Die("not a time: --sed-seconds " + std::string(value));
    } else if (flag == "--growth-factors") {
      o.growth_factors.clear();
      for (std::string_view part : SplitCommas(value)) o.growth_factors.push_back(ParseInt(part, flag));
    } else if (flag == "--cases") {
      o.tree = o.sed = o.memory = o.growth = o.rules = false;
      for (std::string_view part : SplitCommas(value)) {
        if (part == "tree") o.tree = true;
        else if (part == "sed") o.sed = true;
        else if (part == "memory") o.memory = true;
        else if (part == "growth") o.growth = true;
        else if (part == "rules") o.rules = true;
        else Die("unknown case " + std::string(part));
      }
    } else {
      Die("unknown option " + std::string(flag));
    }
  }
  if (o.rounds < 1) o.rounds = 1;
  return o;
}

// ---- synthetic pages ----

// Deterministic, so every run and both builds measure the same bytes.
class Lines {
 public:
  explicit Lines(std::uint32_t seed) : state_(seed) {}

  // One ordinary body line with CRLF; some carry "Input", the brand marker or the 0xFE marker.
  void AppendBodyLine(std::string& page) {
    const std::uint32_t n = Next();
    char line[200];
    int length = 0;
    switch (n % 8) {
      case 0:
      case 1:
        length = std::snprintf(line, sizeof line, "  Input Name=\"field%u\" Left=%u Top=%u Width=240 Height=20 Value=\"\"\r\n",
                               n % 1000, n % 640, n % 480);
        break;
      case 2:
        length = std::snprintf(line, sizeof line, "  \xFE Button Caption=\"Next\" Target=page%04u Link=\"home\" Style=%u\r\n",
                               n % 10000, n % 7);
        break;
      case 3:
        length = std::snprintf(line, sizeof line, "  Footer Text=\"PowerByTORVEKEN\" Align=center Size=%u\r\n", n % 20);
        break;
      default:
        length = std::snprintf(line, sizeof line,
                               "  Text Caption=\"Please fill in the fields below, line %u\" Font=Arial Size=%u Color=%06X\r\n",
                               n % 100000, 8 + n % 6, n & 0xFFFFFF);
        break;
    }
    page.append(line, static_cast<std::size_t>(length));
  }

 private:
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  std::uint32_t state_;
};

void AppendHeader(std::string& page, int number) {
  char header[400];
  int length = std::snprintf(header, sizeof header,
                             "[Template]\r\nVersion=3\r\nName=page%04d\r\nInput=header keeps its words\r\n"
                             "PAGE {\r\n  Labels Home Next Back Link Form Sound Video\r\n",
                             number);
  page.append(header, static_cast<std::size_t>(length));
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0)
    Die("cannot write " + path.string());
}

// Page `p` of folder `f`, of about page_bytes: a header, the "PAGE {" line, the labels line,
// body lines.
void MakePage(std::string& page, int f, int p, std::size_t page_bytes) {
  page.clear();
  AppendHeader(page, p);
  Lines lines(static_cast<std::uint32_t>(f * 100003 + p));
  while (page.size() < page_bytes) lines.AppendBodyLine(page);
  page.append("}\r\n");
}

std::uint64_t GenerateTree(const fs::path& root, int folders, int pages, std::size_t page_bytes) {
  fs::create_directories(root);
  std::uint64_t total = 0;
  std::string page;
  for (int f = 0; f < folders; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "folder%03d", f);
    const fs::path folder = root / name;
    fs::create_directory(folder);
    for (int p = 0; p < pages; ++p) {
      MakePage(page, f, p, page_bytes);
      std::snprintf(name, sizeof name, "page%04d.pag", p);
      WriteFile(folder / name, page);
      total += page.size();
    }
  }
  return total;
}

// One page of `bytes` ordinary lines, written a piece at a time so this process stays small.
void GenerateLargePage(const fs::path& path, std::uint64_t bytes) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (!file) Die("cannot write " + path.string());
  std::string chunk;
  AppendHeader(chunk, 0);
  Lines lines(7);
  std::uint64_t written = 0;
  while (written < bytes) {
    while (chunk.size() < 1 << 20) lines.AppendBodyLine(chunk);
    if (std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size()) Die("cannot write " + path.string());
    written += chunk.size();
    chunk.clear();
  }
  if (std::fclose(file) != 0) Die("cannot write " + path.string());
}

// A page whose body is one line of about `bytes`, its marker at its very end: the whole line
// is scanned before a byte of it can be translated.
void GenerateLongLinePage(const fs::path& path, std::uint64_t bytes) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (!file) Die("cannot write " + path.string());
  std::string chunk;
  AppendHeader(chunk, 0);
  std::uint64_t written = 0;
  while (written < bytes) {
    while (chunk.size() < 1 << 20) chunk += "Input Home PowerByTORVEKEN back and forth ";
    if (std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size()) Die("cannot write " + path.string());
    written += chunk.size();
    chunk.clear();
  }
  if (std::fputs("\xFE\n", file) < 0 || std::fclose(file) != 0) Die("cannot write " + path.string());
}

// ---- the three ways of treating a tree ----

void CopyFile(const fs::path& from, const fs::path& to, std::vector<char>& buffer) {
  std::FILE* in = std::fopen(from.string().c_str(), "rb");
  std::FILE* out = std::fopen(to.string().c_str(), "wb");
  if (!in || !out) Die("cannot copy " + from.string());
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
    if (std::fwrite(buffer.data(), 1, got, out) != got) Die("cannot copy " + from.string());
  std::fclose(in);
  if (std::fclose(out) != 0) Die("cannot copy " + from.string());
}

// The plain copy: every file read and written, folders recreated.
void CopyTree(const fs::path& from, const fs::path& to) {
  std::vector<char> buffer(64 * 1024);
  fs::create_directories(to);
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from)) {
    const fs::path target = to / fs::relative(entry.path(), from);
    if (entry.is_directory()) fs::create_directory(target);
    else CopyFile(entry.path(), target, buffer);
  }
}

class Localiser {
 public:
  explicit Localiser(std::string module_path) : path_(std::move(module_path)) {
    std::string error;
    if (!module_.Load(path_, &error)) Die("cannot load " + path_ + ": " + error);
    operation_ = module_.FindOperation("fctLocaliseTemplate");
    if (!operation_) Die(path_ + " does not export fctLocaliseTemplate");
  }
  const std::string& path() const { return path_; }

  // Through the operation, with a variable table laid out as the installer lays it out.
  void Localise(const fs::path& root) {
    setupext::HostTable table(64, 32, 4096);
    if (!setupext::SetHostVariable(*table.block(), "TEMPLPATH", fs::path(root).make_preferred().string()) ||
        !setupext::SetHostVariable(*table.block(), "LANG", "Fran\xE7" "ais"))
      Die("the variable table does not take the tree's path");
    operation_(table.block());
  }

 private:
  std::string path_;
  setupext::LoadedModule module_;
  setupext::Operation operation_ = nullptr;
};

bool SedTree(const fs::path& root) {
  return setupext::RunProgram({"find", root.string(), "-type", "f", "-name", "*.pag", "-exec", "sed", "-i", "-e",
                               "s/Input/Champ/g", "-e", "s/PowerByTORVEKEN/PowerByTORVEKFR/g", "{}", "+"}) == 0;
}

// ---- checks that the timed work was the real work ----

// At most `limit` bytes from the start of the file.
std::string ReadStart(const fs::path& path, std::size_t limit = 1 << 20) {
  std::string bytes;
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (!file) return bytes;
  char buffer[65536];
  std::size_t got;
  while (bytes.size() < limit && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

// Every page is in place, nothing is left over, and the pages read as French.
void CheckLocalised(const fs::path& root, std::size_t expected_pages) {
  std::size_t pages = 0;
  fs::path sample;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_directory()) continue;
    if (entry.path().extension() != ".pag") Die("left over after localising: " + entry.path().string());
    if (sample.empty()) sample = entry.path();
    ++pages;
  }
  if (pages != expected_pages)
    Die("localised tree has " + std::to_string(pages) + " pages, expected " + std::to_string(expected_pages));
  const std::string text = ReadStart(sample);
  const std::size_t body = text.find("PAGE {");
  if (body == std::string::npos || text.find("Input", text.find('\n', body + 6)) != std::string::npos ||
      text.find("Champ") == std::string::npos || text.find("PowerByTORVEKFR") == std::string::npos ||
      text.find("Accueil") == std::string::npos)
    Die("page not localised: " + sample.string());
}

// ---- timing ----

double Seconds(const std::function<void()>& work) {
  setupext::SettleFileSystem();
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

constexpr double kMiB = 1024.0 * 1024.0;

void PrintRate(const char* what, double seconds, std::uint64_t bytes, std::size_t pages, const std::vector<double>& all) {
  std::printf("  %-34s %8.3f s  %8.1f MiB/s  %9.0f pages/s   (rounds %.3f..%.3f s)\n", what, seconds,
              bytes / kMiB / seconds, pages / seconds, *std::min_element(all.begin(), all.end()),
              *std::max_element(all.begin(), all.end()));
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// ---- the cases ----

// Per-round ratios: the steps of one round share the machine's load of the moment.
double MedianRatio(const std::vector<double>& top, const std::vector<double>& bottom) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < top.size() && i < bottom.size(); ++i) ratios.push_back(top[i] / bottom[i]);
  return ratios.empty() ? 0 : Median(ratios);
}

void CheckFloor(const setupext::FloorCounts& counts, std::size_t expected_pages) {
  if (counts.pages != expected_pages || counts.moved != expected_pages)
    Die("the floor program copied " + std::to_string(counts.pages) + " and moved " + std::to_string(counts.moved) +
        " pages, expected " + std::to_string(expected_pages));
}

// Times the floor program on a fresh copy of `source`.
double TimeFloor(const fs::path& source, const fs::path& tree, setupext::Durability durability, std::size_t page_count) {
  fs::remove_all(tree);
  CopyTree(source, tree);
  setupext::FloorCounts counts;
  const double seconds = Seconds([&] { counts = setupext::FloorTree(tree.string(), durability); });
  CheckFloor(counts, page_count);
  fs::remove_all(tree);
  return seconds;
}

void RunTreeCase(const Options& o, Localiser* localiser, const fs::path& work) {
  const fs::path source = work / "tree-source";
  const std::size_t page_count = static_cast<std::size_t>(o.folders) * o.pages;
  const std::uint64_t bytes = GenerateTree(source, o.folders, o.pages, static_cast<std::size_t>(o.page_kb) * 1024);
  std::printf("tree: %d folders x %d pages x %d KiB = %zu pages, %.1f MiB in %s; median of %d rounds, fresh copies each\n",
              o.folders, o.pages, o.page_kb, page_count, bytes / kMiB, work.string().c_str(), o.rounds);

  const bool run_sed = o.sed && o.sed_seconds < 0 && setupext::RunsPosixTools();
  std::vector<double> localise, durable, floor, copy, sed;
  for (int round = 0; round < o.rounds; ++round) {
    const fs::path localised = work / "tree-localised", copied = work / "tree-copied", sedded = work / "tree-sed";
    if (localiser) {
      const auto localise_step = [&] {
        fs::remove_all(localised);
        CopyTree(source, localised);
        localise.push_back(Seconds([&] { localiser->Localise(localised); }));
        if (round == 0) CheckLocalised(localised, page_count);
        fs::remove_all(localised);
      };
      const fs::path tree = work / "tree-floor";
      const auto durable_step = [&] {
        durable.push_back(TimeFloor(source, tree, setupext::Durability::kFlushed, page_count));
      };
      // On a disk a step slows the next one down: the module and the durable floor take turns
      // to go first.
      if (round % 2 == 0) localise_step(), durable_step();
      else durable_step(), localise_step();
      floor.push_back(TimeFloor(source, tree, setupext::Durability::kNone, page_count));
      fs::remove_all(copied);
      copy.push_back(Seconds([&] { CopyTree(source, copied); }));
      fs::remove_all(copied);
    }
    if (run_sed) {
      fs::remove_all(sedded);
      CopyTree(source, sedded);
      bool ok = true;
      sed.push_back(Seconds([&] { ok = SedTree(sedded); }));
      if (!ok) Die("find/sed failed");
      fs::remove_all(sedded);
    }
  }
  fs::remove_all(source);

  const double sed_median = o.sed_seconds > 0 ? o.sed_seconds : (sed.empty() ? 0 : Median(sed));
  if (!localiser) {
    if (sed_median > 0) {
      PrintRate("sed -i, 2 substitutions", sed_median, bytes, page_count, sed);
      std::printf("sed median seconds: %.6f\n", sed_median);
    }
    return;
  }
  PrintRate("localise (fctLocaliseTemplate)", Median(localise), bytes, page_count, localise);
  PrintRate("floor: the naive calls", Median(floor), bytes, page_count, floor);
  PrintRate("durable floor: outputs flushed", Median(durable), bytes, page_count, durable);
  PrintRate("plain copy (read + write)", Median(copy), bytes, page_count, copy);
  if (sed_median > 0)
    PrintRate(o.sed_seconds > 0 ? "sed -i, 2 substitutions [native]" : "sed -i, 2 substitutions", sed_median, bytes,
              page_count, o.sed_seconds > 0 ? std::vector<double>{sed_median} : sed);
  else if (o.sed)
    std::printf("  sed: not run, this build cannot start it (scripts/bench --wine times it natively)\n");

  // Ratios are medians over the rounds of each round's own ratio. Targets: under Wine, where
  // nearly all the time is Wine's per call, the module stays within 1.05 of the naive calls;
  // natively, in memory, within 1.5. On a disk the module's durability shows: figures only.
  const bool posix = setupext::RunsPosixTools();
  const bool in_memory = setupext::HeldInMemory(work.string());
  const double module_floor = MedianRatio(localise, floor);
  if (!posix)
    std::printf("  module / floor             = %5.2f   (against the naive calls; target <= 1.05: %s)\n", module_floor,
                Verdict(module_floor <= 1.05));
  else if (in_memory)
    std::printf("  module / floor             = %5.2f   (against the naive calls; target in memory <= 1.5: %s)\n",
                module_floor, Verdict(module_floor <= 1.5));
  else
    std::printf("  module / floor             = %5.2f   (against the naive calls; no target on the disk)\n", module_floor);
  std::printf("  module / durable floor     = %5.2f   (each output flushed before its page goes; figure only)\n",
              MedianRatio(localise, durable));
  std::printf("  module / copy              = %5.2f\n", MedianRatio(localise, copy));
  if (sed_median > 0) {
    const double module_sed = sed.empty() ? Median(localise) / sed_median : MedianRatio(localise, sed);
    std::printf("  module / sed               = %5.2f   (%.1f times faster; target >= 3: %s)%s\n", module_sed,
                1 / module_sed, Verdict(module_sed <= 1.0 / 3), sed.empty() ? "   [native sed's median]" : "");
    if (!sed.empty())
      std::printf("  durable floor / sed        = %5.2f   (the least a module flushing each output can take, in sed's time)\n",
                  MedianRatio(durable, sed));
  }
  std::printf("  durable floor / floor      = %5.2f   (what a flush per page costs on this file system)\n",
              MedianRatio(durable, floor));
}

// The page rules alone: the tree case's pages held in memory, each fed whole through the
// translator (as a 64 KiB read buffer holds an 8 KiB page) into a buffer reused from page to
// page. Module code linked in, no module call, no file.
class ReusedBuffer final : public setupext::ByteSink {
 public:
  bool Write(std::string_view bytes) noexcept override {
    if (bytes.size() > buffer_.size() - used_) buffer_.resize(std::max(2 * buffer_.size(), used_ + bytes.size()));
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    return true;
  }
  void Clear() { used_ = 0; }
  std::size_t used() const { return used_; }

 private:
  std::vector<char> buffer_ = std::vector<char>(64 * 1024);
  std::size_t used_ = 0;
};

void RunRulesCase(const Options& o) {
  std::vector<std::string> pages;
  std::uint64_t bytes = 0;
  for (int f = 0; f < o.folders; ++f) {
    for (int p = 0; p < o.pages; ++p) {
      pages.emplace_back();
      MakePage(pages.back(), f, p, static_cast<std::size_t>(o.page_kb) * 1024);
      bytes += pages.back().size();
    }
  }
  // Enough passes over the pages that a round lasts long enough to time.
  const int passes = static_cast<int>(std::max<std::uint64_t>(1, (64u << 20) / std::max<std::uint64_t>(bytes, 1)));
  ReusedBuffer sink;
  std::uint64_t out_bytes = 0;
  std::vector<double> times;
  for (int round = 0; round < o.rounds; ++round) {
    out_bytes = 0;
    times.push_back(Seconds([&] {
      for (int pass = 0; pass < passes; ++pass) {
        for (const std::string& page : pages) {
          sink.Clear();
          setupext::PageTranslator translator(sink);
          if (translator.Take(page, true) != setupext::TextResult::kDone || !translator.ended() ||
              !translator.changed())
            Die("the page rules failed on a bench page");
          out_bytes += sink.used();
        }
      }
    }));
  }
  const double seconds = Median(times);
  const double total = static_cast<double>(bytes) * passes;
  std::printf("page rules: %zu pages, %.1f MiB in memory, %d passes a round, median of %d rounds\n", pages.size(),
              bytes / kMiB, passes, o.rounds);
  std::printf("  page rules (PageTranslator)        %8.1f MB/s = %.2f GB/s  (rounds %.1f..%.1f MB/s; output %.1f MiB a pass)\n",
              total / seconds / 1e6, total / seconds / 1e9, total / *std::max_element(times.begin(), times.end()) / 1e6,
              total / *std::min_element(times.begin(), times.end()) / 1e6, out_bytes / kMiB / passes);
}

void RunGrowthCase(const Options& o, Localiser& localiser, const fs::path& work) {
  std::printf("growth: localise at");
  for (int factor : o.growth_factors) std::printf(" %dx", factor);
  std::printf(" the pages (1x = %d folders x %d pages x %d KiB), median of %d rounds\n", o.growth_folders,
              o.growth_pages, o.page_kb, o.rounds);
  double first_per_page = 0;
  for (int factor : o.growth_factors) {
    const int folders = o.growth_folders * factor;
    const std::size_t page_count = static_cast<std::size_t>(folders) * o.growth_pages;
    if (page_count == 0) continue;
    const fs::path source = work / "growth-source", localised = work / "growth-localised";
    GenerateTree(source, folders, o.growth_pages, static_cast<std::size_t>(o.page_kb) * 1024);
    std::vector<double> times;
    for (int round = 0; round < o.rounds; ++round) {
      fs::remove_all(localised);
      CopyTree(source, localised);
      times.push_back(Seconds([&] { localiser.Localise(localised); }));
      if (round == 0) CheckLocalised(localised, page_count);
    }
    fs::remove_all(localised);
    fs::remove_all(source);
    const double seconds = Median(times);
    const double per_page = seconds / page_count * 1e6;
    if (first_per_page == 0) first_per_page = per_page;
    std::printf("  %3dx %7zu pages  %8.3f s  %8.1f us/page  per-page vs 1x: %.2f\n", factor, page_count, seconds,
                per_page, per_page / first_per_page);
  }
}

// Peak memory of a child process that localises one page, read back from the file it writes.
double ChildPeakMiB(const std::string& module, const fs::path& tree, const fs::path& peak_file) {
  fs::remove(peak_file);
  const int status = setupext::RunProgram({setupext::CurrentExecutable(), "--module", module, "--localise-once",
                                           tree.string(), "--peak-file", peak_file.string()});
  if (status != 0) Die("the child localising " + tree.string() + " failed with status " + std::to_string(status));
  const std::string text = ReadStart(peak_file);
  return std::atof(text.c_str()) / kMiB;
}

void RunMemoryCase(const Options& o, const std::string& module, const fs::path& work) {
  const fs::path small = work / "memory-small", large = work / "memory-large", peak = work / "memory-peak.txt";
  fs::remove_all(small);
  fs::create_directories(small);
  GenerateLargePage(small / "page.pag", 1024);
  const double baseline = ChildPeakMiB(module, small, peak);
  for (const bool one_line : {false, true}) {
    fs::remove_all(large);
    fs::create_directories(large);
    if (one_line) GenerateLongLinePage(large / "page.pag", static_cast<std::uint64_t>(o.memory_mb) << 20);
    else GenerateLargePage(large / "page.pag", static_cast<std::uint64_t>(o.memory_mb) << 20);
    const std::uint64_t bytes = fs::file_size(large / "page.pag");
    std::printf("memory: one page of %.0f MiB of %s, localised in a child process\n", bytes / kMiB,
                one_line ? "one line, its marker at its end" : "ordinary lines");
    double seconds = 0;
    const double peak_mib = [&] {
      double result = 0;
      seconds = Seconds([&] { result = ChildPeakMiB(module, large, peak); });
      return result;
    }();
    CheckLocalised(large, 1);
    std::printf("  peak resident %.1f MiB (same child on a 1 KiB page: %.1f MiB; growth %.1f MiB); %.2f s, %.1f MiB/s\n",
                peak_mib, baseline, peak_mib - baseline, seconds, bytes / kMiB / seconds);
    std::printf("  growth <= 16 MiB: %s\n", Verdict(peak_mib - baseline <= 16));
  }
  fs::remove_all(small);
  fs::remove_all(large);
  fs::remove(peak);
}

int LocaliseOnce(const Options& o) {
  Localiser localiser(o.module.empty() ? setupext::ModuleBesideExecutable() : o.module);
  localiser.Localise(o.localise_once);
  if (!o.peak_file.empty()) {
    std::FILE* file = std::fopen(o.peak_file.c_str(), "wb");
    if (!file) return 1;
    std::fprintf(file, "%llu\n", static_cast<unsigned long long>(setupext::PeakResidentBytes()));
    if (std::fclose(file) != 0) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  if (!o.localise_once.empty()) return LocaliseOnce(o);
  if (!o.floor_tree.empty()) {
    const setupext::FloorCounts counts = setupext::FloorTree(o.floor_tree, o.durability);
    std::printf("floor: %zu pages copied, %zu moved\n", counts.pages, counts.moved);
    return 0;
  }
  if (!o.generate_tree.empty()) {
    fs::remove_all(o.generate_tree);
    GenerateTree(o.generate_tree, o.folders, o.pages, static_cast<std::size_t>(o.page_kb) * 1024);
    return 0;
  }
  if (o.dir.empty()) Die("no --dir given (see --help)");

  const fs::path work = fs::absolute(o.dir);
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string module = o.module.empty() ? setupext::ModuleBesideExecutable() : o.module;

  // sed alone: the figure the Windows build shows where sed cannot run.
  const bool sed_only = o.sed && !o.tree && !o.memory && !o.growth && !o.rules;
  const bool rules_only = o.rules && !o.tree && !o.sed && !o.memory && !o.growth;
  std::unique_ptr<Localiser> localiser;
  if (!sed_only && !rules_only) {
    localiser = std::make_unique<Localiser>(module);
    std::printf("module: %s\n", localiser->path().c_str());
  }
  std::fflush(stdout);
  if (o.tree || sed_only) RunTreeCase(o, localiser.get(), work);
  std::fflush(stdout);
  if (o.rules) RunRulesCase(o);
  std::fflush(stdout);
  if (o.memory) RunMemoryCase(o, module, work);
  std::fflush(stdout);
  if (o.growth) RunGrowthCase(o, *localiser, work);
  fs::remove_all(work);
  return 0;
}
