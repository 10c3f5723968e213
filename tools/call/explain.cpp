#include "explain.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "probe/library_probe.h"
#include "probe/window_probe.h"
#include "template/template_operations.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

// One line a file: its path below the root, then what would happen and why.
class Printer final : public TreeObserver {
 public:
  explicit Printer(std::string_view root) : root_(root) {}

  void Entry(std::string_view dir, const Listing& listing, std::size_t i, const Step& step,
             const PageResult& result) noexcept override {
    if (step.reason == Reason::kFolder) return;
    const std::string name(listing.name(i));
    const std::string path = std::string(dir.substr(std::min(dir.size(), root_.size()))) + name;
    std::printf("%s: %s\n", path.c_str(), Describe(name, listing, step, result).c_str());
  }

  TreeCounts counts;

 private:
  static std::string Final(std::string_view name) {
    PathText text;
    return AppendFinalName(name, text) ? std::string(text.view()) : std::string(name);
  }

  std::string Describe(const std::string& name, const Listing& listing, const Step& step, const PageResult& result) {
    switch (step.fate) {
      case Fate::kLocalise:
        if (result.outcome == PageOutcome::kUnchanged) {
          ++counts.unchanged;
          return Final(name) == name ? "already French: left as it is" : "already French: moved to " + Final(name);
        }
        if (result.outcome == PageOutcome::kKept) {
          ++counts.left;
          return std::string("left English: ") + TroubleText(result.trouble);
        }
        ++counts.localised;
        return "localised into " + Final(name);
      case Fate::kMove:
        ++counts.moved;
        return "moved to " + Final(name);
      case Fate::kFinish:
        ++counts.finished;
        return "left by a cut call, complete: takes the name " + Final(name.substr(0, name.size() - kOutputSuffix.size()));
      case Fate::kRemove:
        ++counts.finished;
        return "left by a cut call, not needed: removed";
      case Fate::kRestore:
        ++counts.finished;
        return "left by a cut call, the page's only copy: back to " + name.substr(0, name.size() - kAsideSuffix.size()) +
               ", then localised";
      case Fate::kLeave: break;
    }
    if (step.reason == Reason::kNotAPage) return "not a page: left as it is";
    ++counts.left;
    std::string why = std::string("left as it is: ") + ReasonText(step.reason);
    if (step.reason == Reason::kFinalNameHeld || step.reason == Reason::kFinalClaimed ||
        step.reason == Reason::kOutputNameHeld)
      why += " " + std::string(listing.name(step.other));
    return why;
  }

  std::string root_;
};

int ExplainTemplates(TemplateVariable variable, const HostVariableBlock& block) {
  PathText root;
  if (!TemplateRoot(block, variable, root)) {
    std::printf("no tree: %s is empty, does not fit, or does not convert from the ANSI code page\n",
                variable == TemplateVariable::kMainDir ? "MAINDIR" : "TEMPLPATH");
    return 0;
  }
  PathText real;
  if (!SystemFiles().RealFolderPath(root, real)) real = root;
  std::string shown(real.view());
  if (shown.empty() || shown.back() != PathSeparator()) shown += PathSeparator();
  std::printf("tree: %s\n", shown.c_str());
  Printer printer(shown);
  const TreeResult result = LocaliseTree(SystemFiles(), root, nullptr, &printer, true);
  if (result == TreeResult::kNoRoot) {
    std::printf("the folder does not exist or cannot be opened: nothing would be done\n");
    return 0;
  }
  const TreeCounts& c = printer.counts;
  std::printf("summary: %zu localised, %zu already French, %zu moved, %zu finished for a cut call, %zu left%s\n",
              c.localised, c.unchanged, c.moved, c.finished, c.left,
              result == TreeResult::kNoMemory ? " (out of memory: the walk stopped early)" : "");
  return 0;
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

int Explain(const std::string& operation, const HostVariableBlock& block) {
  if (operation == "fctLocaliseTemplate") return ExplainTemplates(TemplateVariable::kTemplPath, block);
  if (operation == "fctRenLabelInTemplagePages") return ExplainTemplates(TemplateVariable::kMainDir, block);
  if (operation == "IsLibInstalled") return ExplainLibrary(block);
  if (operation == "IsVBNETAppRunning") return ExplainWindows(block);
  std::fprintf(stderr, "setupext-call: --explain does not know %s\n", operation.c_str());
  return 2;
}

}  // namespace setupext
