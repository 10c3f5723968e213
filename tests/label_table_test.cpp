#include "template/label_table.h"

#include <gtest/gtest.h>

#include <string>

namespace setupext {
namespace {

struct Case {
  std::string line;
  std::string expected;
};

std::string Labelled(std::string line) {
  ApplyLabelTable(line);
  return line;
}

TEST(ReplaceAll, EmptyWholeNoMatchAndRepeats) {
  const Case cases[] = {
      {"", ""},
      {"Input", "Champ"},
      {"no keyword here", "no keyword here"},
      {"Input Inputs xInputx", "Champ Champs xChampx"},
      {"InputInput", "ChampChamp"},
      {"Inpu t", "Inpu t"},
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    ReplaceAll(line, "Input", "Champ");
    EXPECT_EQ(line, c.expected) << c.line;
  }
}

TEST(ReplaceAll, InsertedTextIsNotSearchedAgain) {
  std::string line = "Form Form";
  ReplaceAll(line, "Form", "Formulaire");
  EXPECT_EQ(line, "Formulaire Formulaire");
  line = "aaa";
  ReplaceAll(line, "a", "aa");
  EXPECT_EQ(line, "aaaaaa");
}

TEST(ReplaceAll, KeepsEveryByteAroundMatches) {
  std::string line("\r\0\xFF" "Input\x1A\n", 10);
  ReplaceAll(line, "Input", "Champ");
  EXPECT_EQ(line, std::string("\r\0\xFF" "Champ\x1A\n", 10));
}

TEST(ApplyLabelTable, TranslatesEachFormOfEachWord) {
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
  };
  for (const Case& c : cases) EXPECT_EQ(Labelled(c.line), c.expected) << c.line;
}

TEST(ApplyLabelTable, IsNotIdempotentOnForm) {
  EXPECT_EQ(Labelled(Labelled("Form")), "Formulaireulaire");
  // Already French text otherwise stays as it is.
  const std::string french = Labelled("home next back link Sound Video");
  EXPECT_EQ(Labelled(french), french);
}

TEST(ApplyLabelTable, LinesOfAnyLengthAreTranslatedWhole) {
  std::string line;
  for (int i = 0; i < 5000; ++i) line += "back ";
  line += "END";
  const std::string translated = Labelled(line);
  EXPECT_EQ(translated.size(), line.size() + 5000 * 6);
  EXPECT_EQ(translated.substr(translated.size() - 3), "END");
  EXPECT_EQ(translated.find("back"), std::string::npos);
}

}  // namespace
}  // namespace setupext
