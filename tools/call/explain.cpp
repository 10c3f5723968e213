#include "explain.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "probe/library_probe.h"
#include "probe/window_probe.h"
#include "template/template_operations.h"
#include "read_only_files.h"
#include "template/template_report.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

// Every file of the tree with what the call would do to it and why, in the module's own
// words: the module's executor over a file layer that only reads.
int ExplainTemplates(TemplateVariable variable, const HostVariableBlock& block, bool strict) {
  PathText root;
  TreeReport report(Tense::kWould, true);
  TreeCounts counts;
  const RootResult named = TemplateRoot(block, variable, root);
  if (named == RootResult::kRoot) {
    ReadOnlyFiles read_only(SystemFiles());
    report.Finish(counts, LocaliseTree(read_only, root, &counts, &report));
  } else {
    report.NoTree(variable == TemplateVariable::kMainDir ? "MAINDIR" : "TEMPLPATH", RootResultText(named));
  }
  std::fwrite(report.text().data(), 1, report.text().size(), stdout);
  if (!report.complete()) std::printf("(out of memory: the report is incomplete)\n");
  // The rights on each folder and file, and other calls' locks, were asked; room was not.
  if (named == RootResult::kRoot && counts.localised > 0)
    std::printf("(not known in advance: whether the disk has room for each French version)\n");
  // Folders that could not be listed may hold pages that would stay English.
  return strict && (counts.left > 0 || counts.folders_unlisted > 0) ? 3 : 0;
}

class LibraryPrinter final : public LibraryObserver {
 public:
  explicit LibraryPrinter(std::string_view path) : path_(path) {}
  void List(bool from_default_profile, bool exists) noexcept override {
    const std::string key = std::string(from_default_profile ? "HKEY_USERS\\.Default\\" : "HKEY_CURRENT_USER\\") + path_ + "\\Library";
    if (exists) std::printf("list: %s%s\n", key.c_str(), from_default_profile ? " (the default profile's list wins)" : "");
    else std::printf("list: none (neither HKEY_USERS\\.Default\\%s\\Library nor %s exists)\n", path_.c_str(), key.c_str());
  }
  void Entry(std::uint32_t n, RegistryValueKind kind, std::string_view text) noexcept override {
    const char* what = kind == RegistryValueKind::kMissing     ? "missing: the list ends"
                       : kind == RegistryValueKind::kOtherType ? "not a plain string: the list ends"
                       : kind == RegistryValueKind::kUnreadable ? "unreadable: the list ends"
                       : text.empty()                           ? "empty: the list ends"
                                                                : nullptr;
    if (what) std::printf("  LibName%u: %s\n", static_cast<unsigned>(n), what);
    else std::printf("  LibName%u = %.*s\n", static_cast<unsigned>(n), static_cast<int>(text.size()), text.data());
  }

 private:
  std::string path_;
};

int ExplainLibrary(const HostVariableBlock& block) {
  TextVariable wanted;
  PathVariable path;
  if (GetHostVariable(block, "LIBNAME", wanted) != HostRead::kValue ||
      GetHostVariable(block, "INIREG2", path) != HostRead::kValue || path.size() > kMaxSettingsPath) {
    std::printf("LIBNAME or INIREG2 does not fit its buffer: the call would answer 0 and write nothing\n");
    return 0;
  }
  std::printf("looking for '%s' below %s (letters compared without case)\n", wanted.c_str(), path.c_str());
  LibraryPrinter printer(path.view());
  const LibraryAnswer answer = LookForLibrary(wanted, path, false, &printer);
  if (answer.listed) std::printf("answer: 1, listed as LibName%u\n", static_cast<unsigned>(answer.first_free));
  else std::printf("answer: 0, LIBNUMAVAIL would be %u (HKEY_CURRENT_USER\\%s is made if missing)\n",
                   static_cast<unsigned>(answer.first_free), path.c_str());
  return 0;
}

class WindowPrinter final : public WindowObserver {
 public:
  void Matched(std::string_view caption, std::string_view class_name, bool forms) noexcept override {
    std::printf("  '%.*s' of class %.*s: %s\n", static_cast<int>(caption.size()), caption.data(),
                static_cast<int>(class_name.size()), class_name.data(), forms ? "Windows Forms" : "not Windows Forms");
  }
};

int ExplainWindows(const HostVariableBlock& block) {
  TextVariable wanted;
  if (GetHostVariable(block, "WINDOWTEXT", wanted) != HostRead::kValue) {
    std::printf("WINDOWTEXT does not fit its buffer: the call would answer 0\n");
    return 0;
  }
  std::printf("top-level windows whose caption begins with '%s':\n", wanted.c_str());
  WindowPrinter printer;
  std::printf("answer: %d\n", LookForFormsWindow(wanted, &printer) ? 1 : 0);
  return 0;
}

}  // namespace

int Explain(const std::string& operation, const HostVariableBlock& block, bool strict) {
  if (operation == "fctLocaliseTemplate") return ExplainTemplates(TemplateVariable::kTemplPath, block, strict);
  if (operation == "fctRenLabelInTemplagePages") return ExplainTemplates(TemplateVariable::kMainDir, block, strict);
  if (operation == "IsLibInstalled") return ExplainLibrary(block);
  if (operation == "IsVBNETAppRunning") return ExplainWindows(block);
  std::fprintf(stderr, "setupext-call: --explain does not know %s\n", operation.c_str());
  return 2;
}

}  // namespace setupext
