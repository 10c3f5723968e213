#include "template/template_operations.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "template/template_report.h"
#include "template/template_tree.h"
#include "text/decimal.h"

namespace setupext {
namespace {

// The language changes nothing, but a value that does not fit means the table is not what the
// script meant: then nothing is touched.
bool LanguageFits(const HostVariableBlock& block) {
  std::string_view language;
  return PeekHostVariable(block, "LANG", kTextVariableBuffer, language) == HostRead::kValue;
}

}  // namespace

RootResult TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, PathText& root) {
  TextVariable text;
  return TemplateRoot(block, variable, text, root);
}

// The host names the tree in its ANSI code page; a name that does not convert names no tree.
RootResult TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, TextVariable& text, PathText& root) {
  const bool main_dir = variable == TemplateVariable::kMainDir;
  if (GetHostVariable(block, main_dir ? "MAINDIR" : "TEMPLPATH", text) != HostRead::kValue || !LanguageFits(block))
    return RootResult::kDoesNotFit;
  // An empty or absent variable names no tree: not even "\Material\Template\" on the
  // current drive.
  if (text.empty()) return RootResult::kEmpty;
  // A MAINDIR ending in a separator gives a doubled one, as the installer's scripts expect.
  const char separator = PathSeparator();
  if (main_dir && !(text.Append(separator) && text.Append("Material") && text.Append(separator) &&
                    text.Append("Template") && text.Append(separator)))
    return RootResult::kDoesNotFit;
  if (HoldsUnwritableMark(text)) return RootResult::kUnwritable;
  return FolderFromHostText(text, root) ? RootResult::kRoot : RootResult::kNotAFolder;
}

const char* RootResultText(RootResult result) noexcept {
  switch (result) {
    case RootResult::kRoot: return "";
    case RootResult::kEmpty: return "is empty or absent";
    case RootResult::kDoesNotFit: return "(or LANG) is longer than its buffer, or the folder's path is too long";
    case RootResult::kNotAFolder: return "does not convert from the ANSI code page or is too long";
    case RootResult::kUnwritable:
      return "holds '?', which stands for a character the ANSI code page cannot write: name the folder in that "
             "code page, or by its short name";
  }
  return "";
}

namespace {

// Counts written back only into variables the script made for them: none is ever added.
void WriteCount(HostVariableBlock& block, std::string_view name, std::size_t count) {
  if (HasHostVariable(block, name)) (void)SetHostVariable(block, name, Decimal(count));
}

// The log the script names, when it names one that fits; empty when it names none.
std::string_view LogName(const HostVariableBlock& block) {
  std::string_view text;
  return PeekHostVariable(block, "SETUPEXTLOG", kTextVariableBuffer, text) == HostRead::kValue ? text : std::string_view();
}

#ifndef SETUPEXT_VERSION
#error "SETUPEXT_VERSION comes from project(VERSION) in CMakeLists.txt"
#endif

// The last `digits` decimal digits of `value`, zero-padded, written to end just before `end`.
void PutDigits(char* end, int digits, unsigned value) noexcept {
  for (; digits > 0; --digits, value /= 10) *--end = static_cast<char>('0' + value % 10);
}

// A block's first line, so that the blocks of repeated installs can be told apart: the
// module's version and the local date and time, "setupext 1.1.0, 2026-12-09 14:03:22".
[[nodiscard]] bool AppendHeading(ByteBuffer& out) noexcept {
  const LocalTime now = LocalTimeNow();
  char stamp[] = "0000-00-00 00:00:00\n";
  PutDigits(stamp + 4, 4, now.year);
  PutDigits(stamp + 7, 2, now.month);
  PutDigits(stamp + 10, 2, now.day);
  PutDigits(stamp + 13, 2, now.hour);
  PutDigits(stamp + 16, 2, now.minute);
  PutDigits(stamp + 19, 2, now.second);
  return out.Append("setupext " SETUPEXT_VERSION ", ") && out.Append(std::string_view(stamp, sizeof stamp - 1));
}

// A log the script names is written when it can be; it never changes what the call does. The
// block goes in one write; where memory cannot hold the heading too, the lines go alone.
void WriteLog(const HostVariableBlock& block, const TreeReport& report, PathText& log) {
  const std::string_view name = LogName(block);
  if (name.empty() || !FolderFromHostText(name, log)) return;
  ByteBuffer whole;
  const bool headed = AppendHeading(whole) && whole.Append(report.text().view());
  (void)AppendToLogFile(log, headed ? whole.view() : report.text().view());
}

void WriteCounts(HostVariableBlock& block, const TreeCounts& counts) {
  WriteCount(block, "PAGESLOCALISED", counts.localised);
  WriteCount(block, "PAGESLEFT", counts.left);
  WriteCount(block, "FOLDERSUNLISTED", counts.folders_unlisted);
}

// What one call holds while it runs: kilobytes of text and paths, kept on the heap, for the
// host's thread may have little stack left.
struct TemplateCall {
  TextVariable text;
  PathText path;  // the tree's, then the log's
  TreeCounts counts;
  TreeReport report{Tense::kDid, false};
};

bool LocaliseNamedTree(HostVariableBlock& block, TemplateVariable variable) {
  const HeapObject<TemplateCall> call;
  if (!call) {
    WriteCounts(block, TreeCounts{});  // nothing done, as when the walk has no memory
    return true;
  }
  TreeCounts& counts = call->counts;
  TreeReport& report = call->report;
  const RootResult named = TemplateRoot(block, variable, call->text, call->path);
  // Lines for each entry are made only for a script that asks for a log.
  TreeObserver* observer = LogName(block).empty() ? nullptr : &report;
  if (named == RootResult::kRoot) report.Finish(counts, LocaliseTree(SystemFiles(), call->path, &counts, observer));
  else report.NoTree(variable == TemplateVariable::kMainDir ? "MAINDIR" : "TEMPLPATH", RootResultText(named));
  WriteLog(block, report, call->path);
  WriteCounts(block, counts);
  return true;
}

}  // namespace

bool LocaliseTemplateFolder(HostVariableBlock& block) { return LocaliseNamedTree(block, TemplateVariable::kTemplPath); }

bool LocaliseApplicationTemplates(HostVariableBlock& block) {
  return LocaliseNamedTree(block, TemplateVariable::kMainDir);
}

}  // namespace setupext
