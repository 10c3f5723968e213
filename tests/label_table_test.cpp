#include "template/label_table.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "support/reference_translation.h"

namespace setupext {
namespace {

struct Case {
  std::string line;
  std::string expected;
};

class Collect final : public ByteSink {
 public:
  bool Write(std::string_view bytes) noexcept override {
    if (fail_at_ > 0 && ++writes_ >= fail_at_) return false;
    text_.append(bytes);
    return true;
  }
  void FailFrom(int nth) { fail_at_ = nth; }
  std::string text_;

 private:
  int writes_ = 0, fail_at_ = 0;
};

std::string Replaced(std::string_view line, const RuleSet& rules, bool* changed = nullptr) {
  Collect out;
  bool any = false;
  EXPECT_TRUE(ReplaceInOnePass(line, rules, out, any));
  if (changed) *changed = any;
  return out.text_;
}

std::string Labelled(std::string_view line) { return Replaced(line, LabelRules); }

constexpr Rule kInput[] = {{"Input", "Champ"}};
constexpr RuleSet kInputRules(kInput);

// Every occurrence, the search going on after the inserted text.
TEST(ReplaceInOnePass, EmptyWholeNoMatchAndRepeats) {
  const Case cases[] = {
      {"", ""},
      {"Input", "Champ"},
      {"no keyword here", "no keyword here"},
      {"Input Inputs xInputx", "Champ Champs xChampx"},
      {"InputInput", "ChampChamp"},
      {"Inpu t", "Inpu t"},
      {"IIInput", "IIChamp"},
      {std::string("\r\0\xFF" "Input\x1A\n", 10), std::string("\r\0\xFF" "Champ\x1A\n", 10)},
  };
  for (const Case& c : cases) {
    bool changed = true;
    EXPECT_EQ(Replaced(c.line, kInputRules, &changed), c.expected) << c.line;
    EXPECT_EQ(changed, c.line != c.expected) << c.line;
  }
}

TEST(ReplaceInOnePass, InsertedTextIsNotSearchedAgain) {
  static constexpr Rule form[] = {{"Form", "Formulaire"}};
  static constexpr Rule a[] = {{"a", "aa"}};
  EXPECT_EQ(Replaced("Form Form", RuleSet(form)), "Formulaire Formulaire");
  EXPECT_EQ(Replaced("aaa", RuleSet(a)), "aaaaaa");
}

// Both searches (for up to three first bytes a block at a time, otherwise by a table of first
// bytes) against a plain one: at each place the first rule whose word starts there.
std::string PlainOnePass(std::string_view text, std::span<const Rule> rules) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const Rule* found = nullptr;
    for (const Rule& rule : rules) {
      if (!text.substr(at).starts_with(rule.word)) continue;
      found = &rule;
      break;
    }
    out += found ? found->replacement : text.substr(at, 1);
    at += found ? found->word.size() : 1;
  }
  return out;
}

TEST(ReplaceInOnePass, FindsEveryWordWhereverBlocksEnd) {
  static constexpr Rule three_firsts[] = {{"ab", "1"}, {"a\xFE", "2"}, {"xyz", "3"}, {"xy", "4"}, {"\x80", "5"}};
  static constexpr Rule one_first[] = {{"ab", "1"}, {"a", "2"}};
  static constexpr Rule four_firsts[] = {{"ab", "1"}, {"a\xFE", "2"}, {"xy", "3"}, {"\x80\x80", "4"}, {"\xFE", "5"}};
  struct Set {
    RuleSet rules;
    std::span<const Rule> list;
  };
  static constexpr Set sets[] = {
      {RuleSet(three_firsts), three_firsts}, {RuleSet(one_first), one_first}, {RuleSet(four_firsts), four_firsts}};
  const char letters[] = {'a', 'b', 'x', 'y', 'z', '\xFE', '\x80', '.', '.', '.', '.', '.', '.', '.'};
  std::mt19937 random(3);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (std::size_t n = random() % 80; n > 0; --n) text += letters[random() % std::size(letters)];
    for (const Set& set : sets) ASSERT_EQ(Replaced(text, set.rules), PlainOnePass(text, set.list)) << text;
  }
}

TEST(ReplaceInOnePass, ARefusingSinkStopsIt) {
  for (int nth = 1; nth <= 3; ++nth) {
    Collect out;
    out.FailFrom(nth);
    bool changed = false;
    EXPECT_FALSE(ReplaceInOnePass("a Input b", kInputRules, out, changed)) << nth;
  }
}

TEST(LabelRules, TranslateEachFormOfEachWord) {
  const Case cases[] = {
      {"", ""},
      {"nothing to see", "nothing to see"},
      {"HOME Home home", "ACCUEIL Accueil accueil"},
      {"hOmE", "hOmE"},
      {"homepage Linked", "accueilpage Liened"},
      {"back", "pr\xE9" "c\xE9" "dente"},
      {"Back BACK", "Pr\xE9" "c\xE9" "dente PR\xC9" "C\xC9" "DENTE"},
      {"Sound!", "Son!"},
      {"Video", "Vid\xE9" "o"},
      {"next Next NEXT link LINK", "suivante Suivante SUIVANTE lien LIEN"},
      {"Form\r\n", "Formulaire\r\n"},
      // An entry's French text searched by the later entries, never by its own.
      {"homeink HOMEINK", "accueilien ACCUEILIEN"},
      {"Homeink HOMEink", "Accueilink ACCUEILink"},
      {"homelink hhomeinkink", "accueillien haccueilienink"},
  };
  for (const Case& c : cases) EXPECT_EQ(Labelled(c.line), c.expected) << c.line;
}

// Safe to run twice: where the text already reads "Formulaire", "Form" stays.
TEST(LabelRules, FormulaireStaysFormulaire) {
  const Case cases[] = {
      {"Formulaire", "Formulaire"},
      {"Form Formulaire", "Formulaire Formulaire"},
      {"FormFormulaire", "FormulaireFormulaire"},
      {"Formulair Forms", "Formulaireulair Formulaires"},
      {"Formulaireulaire", "Formulaireulaire"},
      {"xFormulaires Formulaire\n", "xFormulaires Formulaire\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Labelled(c.line), c.expected) << c.line;
    EXPECT_EQ(Labelled(c.expected), c.expected) << c.line << ": translated twice";
  }
  const std::string french = Labelled("home next back link Home Next Back Link Form Sound Video HOME NEXT BACK LINK");
  bool changed = true;
  EXPECT_EQ(Replaced(french, LabelRules, &changed), french);
  EXPECT_FALSE(changed);
}

TEST(LabelRules, LinesOfAnyLengthAreTranslatedWhole) {
  std::string line;
  for (int i = 0; i < 5000; ++i) line += "back ";
  line += "END";
  const std::string translated = Labelled(line);
  EXPECT_EQ(translated.size(), line.size() + 5000 * 6);
  EXPECT_EQ(translated.substr(translated.size() - 3), "END");
  EXPECT_EQ(translated.find("back"), std::string::npos);
}

// The one pass relies on what the table's words can do to one another; if the table changed,
// this says what the pass would have to learn.
bool Overlap(std::string_view left, std::string_view right) {  // an end of `left` starts `right`
  for (std::size_t n = 1; n < left.size() && n < right.size(); ++n)
    if (left.substr(left.size() - n) == right.substr(0, n)) return true;
  return false;
}

TEST(LabelRules, TheTableMakesOnlyTheLaterLabelsThePassKnows) {
  const Label keywords[] = {{"Input", "Champ"}, {"PowerByTORVEKEN", "PowerByTORVEKFR"}};
  std::vector<std::string> made;
  for (std::size_t i = 0; i < LabelTable.size(); ++i) {
    const Label& a = LabelTable[i];
    for (std::size_t j = 0; j < LabelTable.size(); ++j) {
      const Label& b = LabelTable[j];
      // No label overlaps or holds another, so they are found alike in any order.
      EXPECT_FALSE(Overlap(a.source, b.source)) << a.source << " " << b.source;
      EXPECT_FALSE(i != j && Contains(a.source, b.source)) << a.source << " " << b.source;
      // No French text ends a label with the text before it, or holds one but its own.
      EXPECT_FALSE(Overlap(b.source, a.french)) << b.source << " " << a.french;
      EXPECT_FALSE(i != j && Contains(a.french, b.source)) << a.french << " " << b.source;
      // A French text starting a later label with the text after it: one compound word each.
      for (std::size_t n = 1; j > i && n < a.french.size() && n < b.source.size(); ++n) {
        if (a.french.substr(a.french.size() - n) != b.source.substr(0, n)) continue;
        made.push_back(std::string(a.source) + std::string(b.source.substr(n)) + " " +
                       std::string(a.french.substr(0, a.french.size() - n)) + std::string(b.french));
      }
    }
    for (const Label& keyword : keywords) {
      // No label overlaps a keyword, except "PowerByTORVEKEN" + "ext"/"EXT": the keywords go
      // first, in one pass as entry after entry.
      const bool brand_next = keyword.source == "PowerByTORVEKEN" && (a.source == "Next" || a.source == "NEXT");
      EXPECT_EQ(Overlap(keyword.source, a.source), brand_next) << keyword.source << " " << a.source;
      EXPECT_FALSE(Overlap(a.source, keyword.source) || Contains(keyword.source, a.source)) << a.source;
      // A keyword's French text makes no label, and a label's French text no keyword.
      EXPECT_FALSE(Overlap(keyword.french, a.source) || Overlap(a.source, keyword.french) ||
                   Contains(keyword.french, a.source))
          << keyword.french << " " << a.source;
      EXPECT_FALSE(Overlap(a.french, keyword.source) || Overlap(keyword.source, a.french) ||
                   Contains(a.french, keyword.source))
          << keyword.source << " " << a.french;
    }
  }
  std::vector<std::string> compounds;
  for (const Rule& rule : LabelCompounds)
    compounds.push_back(std::string(rule.word) + " " + std::string(rule.replacement));
  EXPECT_EQ(made, compounds);
}

// The one pass against the table applied entry after entry, on every line of up to three
// pieces and on longer random lines.
TEST(LabelRules, GiveTheBytesOfTheEntriesOneAfterTheOther) {
  std::vector<std::string> pieces = {"ink", "INK", "ext", "EXT", "ulaire", "x", "l", "L", "n", "N", "\xFE", "Input",
                                     "PowerByTORVEKEN"};
  for (const Label& label : LabelTable) {
    pieces.emplace_back(label.source);
    pieces.emplace_back(label.french);
    pieces.emplace_back(label.source.substr(0, 2));
    pieces.emplace_back(label.source.substr(2));
  }
  const auto check = [](const std::string& line) {
    std::string expected = line;
    testing::ReplaceLabels(expected);
    ASSERT_EQ(Labelled(line), expected) << line;
  };
  for (const std::string& a : pieces) {
    for (const std::string& b : pieces) {
      for (const std::string& c : pieces) check(a + b + c);
    }
  }
  std::mt19937 random(5);
  for (int round = 0; round < 2000; ++round) {
    std::string line;
    for (std::size_t n = random() % 30; n > 0; --n) line += pieces[random() % pieces.size()];
    check(line);
  }
}

}  // namespace
}  // namespace setupext
