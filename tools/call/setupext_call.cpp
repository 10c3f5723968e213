// Calls one exported operation of the module exactly the way the installer does: lays out a
// variable table, loads the module, calls the operation with the table's address, and shows
// the result and the variables afterwards.
#include <charconv>
#include <filesystem>
#include <random>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "explain.h"
#include "host_table.h"
#include "loaded_module.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: setupext-call [--module PATH] [--capacity N] [--name-width N] [--value-width N]\n"
    "                     [--explain | --report] [--strict] OPERATION [NAME=VALUE ...]\n"
    "       setupext-call --version | --help\n"
    "\n"
    "Lays out an installer variable table (default 64 slots, names 32 bytes wide, values\n"
    "4096 bytes wide), stores each NAME=VALUE in it, loads the module (default: the one\n"
    "beside this program), calls the exported OPERATION with the table's address, then\n"
    "prints 'result: N' and every variable of the table as NAME=VALUE in slot order\n"
    "(an empty value as 'NAME= (empty)'). Warns on stderr of a name given in another case\n"
    "than the operation's (names are case-sensitive) and of LIBNUMAVAIL dropped by a full\n"
    "table.\n"
    "\n"
    "With --explain nothing is changed: for a template operation every file of the tree is\n"
    "listed with what the call would do to it and why (a page left English names what is in\n"
    "the way), then a summary line; for a probe, what it looks at and what it finds.\n"
    "With --report a template operation is made for real by the module's own code, and every\n"
    "file is listed with what was done to it, in the same words. With --strict, either exits\n"
    "with 3 when a page would stay, or stayed, English, or a folder could not be listed (its\n"
    "pages are not known).\n"
    "\n"
    "Operations: fctLocaliseTemplate, fctRenLabelInTemplagePages, IsLibInstalled,\n"
    "            IsVBNETAppRunning\n"
    "\n"
    "Exit status: 0 after a call, 3 as --strict says, 2 for a usage error, a module that does not load or an\n"
    "operation the module does not export.\n";

struct Options {
  std::string module;
  std::uint32_t capacity = 64;
  std::uint32_t name_width = 32;
  std::uint32_t value_width = 4096;
  std::string operation;
  std::vector<std::string> assignments;
  bool explain = false;
  bool report = false;
  bool strict = false;
};

#ifndef SETUPEXT_VERSION
#error "SETUPEXT_VERSION comes from project(VERSION) in CMakeLists.txt"
#endif

int Fail(const std::string& message) {
  std::fprintf(stderr, "setupext-call: %s\n", message.c_str());
  return 2;
}

bool ParseCount(std::string_view text, std::uint32_t* value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// Returns an error message, or "" when the arguments are sound.
std::string Parse(int argc, char** argv, Options* options) {
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    std::string_view flag = argv[i];
    if (flag == "--explain" || flag == "--report" || flag == "--strict") {
      (flag == "--explain" ? options->explain : flag == "--report" ? options->report : options->strict) = true;
      continue;
    }
    if (flag != "--module" && flag != "--capacity" && flag != "--name-width" && flag != "--value-width")
      return "unknown option " + std::string(flag) + " (see --help)";
    if (i + 1 >= argc) return "missing value after " + std::string(flag);
    std::string_view value = argv[++i];
    bool ok = true;
    if (flag == "--module") options->module = value;
    else if (flag == "--capacity") ok = ParseCount(value, &options->capacity);
    else if (flag == "--name-width") ok = ParseCount(value, &options->name_width);
    else ok = ParseCount(value, &options->value_width);
    if (!ok) return "not a count: " + std::string(flag) + " " + std::string(value);
  }
  if (i >= argc) return "no operation given (see --help)";
  options->operation = argv[i++];
  for (; i < argc; ++i) {
    if (!std::strchr(argv[i], '=')) return "not NAME=VALUE: " + std::string(argv[i]);
    options->assignments.emplace_back(argv[i]);
  }
  return {};
}

// The variables each operation reads or writes, as the table names them.
std::vector<std::string_view> VariablesOf(std::string_view operation) {
  if (operation == "fctLocaliseTemplate") return {"TEMPLPATH", "LANG"};
  if (operation == "fctRenLabelInTemplagePages") return {"MAINDIR", "LANG"};
  if (operation == "IsLibInstalled") return {"LIBNAME", "INIREG2", "LIBNUMAVAIL"};
  if (operation == "IsVBNETAppRunning") return {"WINDOWTEXT"};
  return {};
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// A name given in another case than the operation's is another variable: say so.
void WarnAboutCase(const Options& options) {
  for (const std::string_view wanted : VariablesOf(options.operation)) {
    bool exact = false;
    std::string near;
    for (const std::string& assignment : options.assignments) {
      const std::string_view name = std::string_view(assignment).substr(0, assignment.find('='));
      if (name == wanted) exact = true;
      else if (near.empty() && EqualIgnoringCase(name, wanted)) near = name;
    }
    if (!exact && !near.empty())
      std::fprintf(stderr, "setupext-call: warning: %s is not %.*s: variables are case-sensitive, and %s uses %.*s\n",
                   near.c_str(), static_cast<int>(wanted.size()), wanted.data(), options.operation.c_str(),
                   static_cast<int>(wanted.size()), wanted.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("setupext-call " SETUPEXT_VERSION);
      return 0;
    }
  }
  Options options;
  if (std::string error = Parse(argc, argv, &options); !error.empty()) return Fail(error);

  setupext::HostTable table(options.capacity, options.name_width, options.value_width);
  for (const std::string& assignment : options.assignments) {
    const std::size_t equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    // A slot holds its text and a NUL; the name is stored as "%NAME%".
    if (name.size() + 3 > options.name_width)
      return Fail("name " + name + " is " + std::to_string(name.size()) + " bytes, too long for --name-width " +
                  std::to_string(options.name_width) + " (\"%" + name + "%\" and a NUL)");
    if (value.size() + 1 > options.value_width)
      return Fail("value of " + name + " is " + std::to_string(value.size()) + " bytes, wider than --value-width " +
                  std::to_string(options.value_width) + " (a NUL ends it)");
    if (!setupext::SetHostVariable(*table.block(), name, value))
      return Fail("no room in the table for " + name + " (--capacity " + std::to_string(options.capacity) + ")");
  }

  WarnAboutCase(options);
  if (options.explain && options.report) return Fail("--explain and --report exclude each other");
  if (options.explain) return setupext::Explain(options.operation, *table.block(), options.strict);
  // --report: the call made as the installer makes it, with a log of its own that is shown.
  const bool templates = options.operation == "fctLocaliseTemplate" || options.operation == "fctRenLabelInTemplagePages";
  if ((options.report || options.strict) && !templates)
    return Fail("--report and --strict are for fctLocaliseTemplate and fctRenLabelInTemplagePages");
  const fs::path log = fs::temp_directory_path() / ("setupext-call-" + std::to_string(std::random_device{}()) + ".log");
  if (options.report) {
    std::error_code ignored;
    fs::remove(log, ignored);
    if (!setupext::SetHostVariable(*table.block(), "SETUPEXTLOG", log.string()))
      return Fail("no room in the table for SETUPEXTLOG (--capacity " + std::to_string(options.capacity) + ")");
  }
  for (const char* count : {"PAGESLEFT", "FOLDERSUNLISTED"}) {
    if (options.strict && !setupext::FindVariable(*table.block(), count) &&
        !setupext::SetHostVariable(*table.block(), count, ""))
      return Fail(std::string("no room in the table for ") + count + " (--capacity " + std::to_string(options.capacity) + ")");
  }

  if (options.module.empty()) options.module = setupext::ModuleBesideExecutable();
  setupext::LoadedModule module;
  std::string error;
  if (!module.Load(options.module, &error)) return Fail("cannot load " + options.module + ": " + error);
  const setupext::Operation operation = module.FindOperation(options.operation.c_str(), &error);
  if (!operation) return Fail(options.module + " does not export " + options.operation + ": " + error);

  // The installer reads only the low byte of the answer.
  int result = operation(table.block()) & 0xFF;
  // IsLibInstalled's answer 0 comes with LIBNUMAVAIL, which a full table cannot take.
  if (options.operation == "IsLibInstalled" && result == 0 && table.block()->count >= options.capacity &&
      !setupext::FindVariable(*table.block(), "LIBNUMAVAIL"))
    std::fprintf(stderr, "setupext-call: warning: LIBNUMAVAIL was not written: the table is full (--capacity %u)\n",
                 static_cast<unsigned>(options.capacity));
  std::printf("result: %d\n", result);
  for (const auto& [name, value] : setupext::ListVariables(*table.block()))
    std::printf("%s=%s\n", name.c_str(), value.empty() ? " (empty)" : value.c_str());
  if (options.report) {
    std::error_code ignored;
    std::fflush(stdout);
    if (FILE* text = std::fopen(log.string().c_str(), "rb")) {
      char buffer[4096];
      for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, text)) > 0;) std::fwrite(buffer, 1, got, stdout);
      std::fclose(text);
    } else {
      std::printf("(the module wrote no log)\n");
    }
    fs::remove(log, ignored);
  }
  // Folders that could not be listed may hold pages that stayed English.
  const auto left = setupext::FindVariable(*table.block(), "PAGESLEFT");
  const auto unlisted = setupext::FindVariable(*table.block(), "FOLDERSUNLISTED");
  return options.strict && ((left && *left != "0") || (unlisted && *unlisted != "0")) ? 3 : 0;
}
