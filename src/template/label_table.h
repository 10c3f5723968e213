// English-to-French labels of the template pages, and the rules that apply them in one pass.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/buffers.h"
#include "text/replace.h"

namespace setupext {

struct Label {
  std::string_view source;
  std::string_view french;  // Windows-1252
};

// Applied in this order; matching is case-sensitive, so each form of a word has its entry.
inline constexpr std::array<Label, 15> LabelTable = {{
    {"home", "accueil"},
    {"next", "suivante"},
    {"back", "pr\xE9" "c\xE9" "dente"},
    {"link", "lien"},
    {"Home", "Accueil"},
    {"Next", "Suivante"},
    {"Back", "Pr\xE9" "c\xE9" "dente"},
    {"Link", "Lien"},
    {"Form", "Formulaire"},
    {"Sound", "Son"},
    {"Video", "Vid\xE9" "o"},
    {"HOME", "ACCUEIL"},
    {"NEXT", "SUIVANTE"},
    {"BACK", "PR\xC9" "C\xC9" "DENTE"},
    {"LINK", "LIEN"},
}};

// The table, entry after entry, as one pass:
// - A label whose French text begins with the label itself is not replaced where the text
//   already reads that French text: "Form" followed by "ulaire" stays, so a line translated
//   twice reads as translated once.
// - Each entry works on the line as the entries before it left it, so a French text is searched
//   by the later entries (never by its own): "homeink" -> "accueilink" -> "accueilien". Of
//   the table's French texts only two make a later label with the text after them, and each
//   such pair is one word of its own here, tried before the label it starts with.
// Otherwise no label overlaps another, or "Input", or the brand marker anywhere but at its
// last letter (tests/label_table_test.cpp checks all of this against the table), so one pass
// from left to right gives the bytes of the entries applied one after the other.
inline constexpr std::array<Rule, 2> LabelCompounds = {{
    {"homeink", "accueilien"},  // "home", then "link" in "accueil" + "ink"
    {"HOMEINK", "ACCUEILIEN"},  // "HOME", then "LINK" in "ACCUEIL" + "INK"
}};

consteval std::array<Rule, LabelTable.size()> LabelRulesOf(const std::array<Label, 15>& table) {
  std::array<Rule, LabelTable.size()> rules{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Label& label = table[i];
    const bool french_extends = label.french.starts_with(label.source);
    rules[i] = {label.source, label.french,
                french_extends ? From(label.french, label.source.size()) : std::string_view{}};
  }
  return rules;
}
inline constexpr std::array<Rule, LabelTable.size()> LabelRuleList = LabelRulesOf(LabelTable);

// The table's rules for a line that gets the labels alone.
extern const RuleSet LabelRules;

}  // namespace setupext
