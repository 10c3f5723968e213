#include "template/label_table.h"

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

namespace setupext {
namespace {

// "Form" is not replaced where the text already reads "Formulaire": a second call changes
// nothing.
bool Replace(std::string& line, const Label& label, std::string& scratch) {
  if (label.source != "Form" || line.find("Formulaire") == std::string::npos)
    return ReplaceAll(line, label.source, label.french, scratch);
  bool replaced = false;
  std::size_t from = 0;
  for (std::size_t at = line.find("Form"); at != std::string::npos; at = line.find("Form", from)) {
    if (line.compare(at + 4, 6, "ulaire") == 0) {
      from = at + 10;
      continue;
    }
    line.replace(at, 4, "Formulaire");
    from = at + 10;
    replaced = true;
  }
  return replaced;
}

using EntrySet = std::uint64_t;  // bit i: entry i of the table
constexpr std::size_t kMaxIndexedEntries = 64;

// True when `word` can occur in some text around `inserted` overlapping it: inside it, holding
// it, or across one of its ends.
bool MayMake(std::string_view inserted, std::string_view word) {
  if (Contains(inserted, word) || Contains(word, inserted)) return true;
  for (std::size_t n = 1; n < inserted.size() && n < word.size(); ++n) {
    if (word.substr(word.size() - n) == inserted.substr(0, n)) return true;  // word ends in its start
    if (word.substr(0, n) == inserted.substr(inserted.size() - n)) return true;  // word starts in its end
  }
  return false;
}

// Finds in one sweep which entries a line holds, so the sequential replacement only searches
// for those, and for the later ones an earlier entry's French text may have made.
class TableIndex {
 public:
  explicit TableIndex(std::span<const Label> table) : table_(table), made_by_(table.size()) {
    for (std::size_t i = 0; i < table.size(); ++i) {
      starting_with_[static_cast<unsigned char>(table[i].source[0])] |= EntrySet{1} << i;
      for (std::size_t later = i + 1; later < table.size(); ++later)
        if (MayMake(table[i].french, table[later].source)) made_by_[i] |= EntrySet{1} << later;
    }
  }

  void Apply(std::string& line, std::string& scratch) const {
    EntrySet pending = Held(line);
    while (pending != 0) {
      const int i = std::countr_zero(pending);
      pending &= pending - 1;
      if (Replace(line, table_[i], scratch)) pending |= made_by_[i];
    }
  }

 private:
  EntrySet Held(std::string_view line) const {
    EntrySet held = 0;
    for (std::size_t at = 0; at < line.size(); ++at) {
      for (EntrySet candidates = starting_with_[static_cast<unsigned char>(line[at])]; candidates != 0;
           candidates &= candidates - 1) {
        const int i = std::countr_zero(candidates);
        if (line.substr(at, table_[i].source.size()) == table_[i].source) held |= EntrySet{1} << i;
      }
    }
    return held;
  }

  std::span<const Label> table_;
  std::array<EntrySet, 256> starting_with_{};
  std::vector<EntrySet> made_by_;
};

bool Indexable(std::span<const Label> table) {
  if (table.size() > kMaxIndexedEntries) return false;
  for (const Label& label : table)
    if (label.source.empty()) return false;
  return true;
}

}  // namespace

void ApplyLabelTable(std::string& line, std::string& scratch, std::span<const Label> table) {
  if (table.data() == LabelTable.data() && table.size() == LabelTable.size()) {
    static const TableIndex label_index(LabelTable);
    label_index.Apply(line, scratch);
  } else if (Indexable(table)) {
    TableIndex(table).Apply(line, scratch);
  } else {
    for (const Label& label : table) Replace(line, label, scratch);
  }
}

void ApplyLabelTable(std::string& line, std::span<const Label> table) {
  std::string scratch;
  ApplyLabelTable(line, scratch, table);
}

}  // namespace setupext
