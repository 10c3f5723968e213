// The page rules over bytes: header, title and body, pieces of any size, the "Formulaire" mend,
// changed(), a refusing sink, and no memory of its own.
#include "template/page_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <span>
#include <string>

#include "support/allocation_faults.h"
#include "support/page_text_in_memory.h"
#include "support/reference_translation.h"

namespace setupext {
namespace {

using namespace std::string_literals;
using testing::TranslatedPage;
using testing::TranslateInPieces;

// Piece sizes that put line ends on, before and after piece boundaries.
const std::size_t kPieceSizes[] = {16, 17, 19, 23, 64, 64 * 1024};

struct Case {
  const char* what;
  std::string page;
  std::string expected;
};

void ExpectTranslated(std::span<const Case> cases) {
  for (const Case& c : cases) {
    for (std::size_t size : kPieceSizes) {
      const testing::PageText out = TranslateInPieces(c.page, size);
      EXPECT_EQ(out.result, TextResult::kDone) << c.what;
      EXPECT_EQ(out.text, c.expected) << c.what << " (pieces of " << size << ")";
      EXPECT_EQ(out.changed, c.expected != c.page) << c.what << " (pieces of " << size << ")";
    }
  }
}

TEST(PageText, HeaderTitleAndBody) {
  const Case cases[] = {
      {"no header end: nothing replaced", "Input Home\r\nPowerByTORVEKEN \xFE" "back\n",
       "Input Home\r\nPowerByTORVEKEN \xFE" "back\n"},
      {"empty page", "", ""},
      {"header kept up to and with the first PAGE { line",
       "Input home\nLink x PAGE { Input Home\nInput Home\nInput\n",
       "Input home\nLink x PAGE { Input Home\nInput Accueil\nChamp\n"},
      {"title: labels without the marker, no keyword", "PAGE {\nInput Home PowerByTORVEKEN\n",
       "PAGE {\nInput Accueil PowerByTORVEKEN\n"},
      {"body without marker: keywords only", "PAGE {\n\nInput Home\n", "PAGE {\n\nChamp Home\n"},
      {"body with marker: labels too", "PAGE {\n\nInput \xFEHome\n", "PAGE {\n\nChamp \xFE" "Accueil\n"},
      {"marker after the labels", "PAGE {\n\nHome Input Form \xFE\nHome\n", "PAGE {\n\nAccueil Champ Formulaire \xFE\nHome\n"},
      {"Inputs", "PAGE {\n\nInputs InputInput\n", "PAGE {\n\nChamps ChampChamp\n"},
      {"brand marker", "PAGE {\nPowerByTORVEKEN\nPowerByTORVEKEN Form\n",
       "PAGE {\nPowerByTORVEKEN\nPowerByTORVEKFR Form\n"},
      {"brand marker before a label on a marked line", "PAGE {\nPowerByTORVEKENext\n\xFEPowerByTORVEKENext\n",
       "PAGE {\nPowerByTORVEKESuivante\n\xFEPowerByTORVEKFRext\n"},
      {"every label on a marked line", "PAGE {\n\n\xFE" "back Sound Video LINK next\n",
       "PAGE {\n\n\xFEpr\xE9" "c\xE9" "dente Son Vid\xE9" "o LIEN suivante\n"},
      {"second PAGE { is body, and so is the line after it", "PAGE {\nt\nPAGE { Input\nHome Input\n",
       "PAGE {\nt\nPAGE { Champ\nHome Champ\n"},
      {"header end is case- and space-sensitive", "page {\nPAGE{\nHome\nInput\n", "page {\nPAGE{\nHome\nInput\n"},
      {"CR LF pairs kept", "a\r\nPAGE {\r\nHome\r\nInput\r\n\r\n", "a\r\nPAGE {\r\nAccueil\r\nChamp\r\n\r\n"},
      {"0x1A and 0xFF are ordinary bytes", "PAGE {\n\x1A\xFF\nA\x1A" "B\xFF Input\nInput\n",
       "PAGE {\n\x1A\xFF\nA\x1A" "B\xFF Champ\nChamp\n"},
      {"last body line without LF", "PAGE {\nx\nInput", "PAGE {\nx\nChamp"},
      {"last marked line without LF", "PAGE {\nx\nInput\xFEHome", "PAGE {\nx\nChamp\xFE" "Accueil"},
      {"last title line without LF", "PAGE {\nHome", "PAGE {\nAccueil"},
      {"page ends at the header end", "a\nPAGE {", "a\nPAGE {"},
      {"page ends right after the header end", "a\nPAGE {\n", "a\nPAGE {\n"},
      {"lone CR does not end a line", "PAGE {\rHome\nHome\rInput\n", "PAGE {\rHome\nAccueil\rInput\n"},
      {"two markers on a line, marked lines in a row", "PAGE {\n\n\xFEHome\xFE Back\n\xFEnext\nlink\n",
       "PAGE {\n\n\xFE" "Accueil\xFE Pr\xE9" "c\xE9" "dente\n\xFEsuivante\nlink\n"},
  };
  ExpectTranslated(cases);
}

TEST(PageText, ZeroBytesAreOrdinary) {
  const std::string utf16_page = "P\0A\0G\0E\0 \0{\0\r\0\n\0I\0n\0p\0u\0t\0\r\0\n\0"s;
  const Case cases[] = {
      {"zero inside body lines kept, no split", "PAGE {\n\n\0Input\0\nHome\0\n"s, "PAGE {\n\n\0Champ\0\nHome\0\n"s},
      {"zero at the start of a header line", "\0head Input\nPAGE {\nHome\nInput\n"s,
       "\0head Input\nPAGE {\nAccueil\nChamp\n"s},
      {"zero splits no title from the body", "PAGE {\nHo\0me Input\nInput\n"s, "PAGE {\nHo\0me Input\nChamp\n"s},
      {"zero at the start of a body line does not end the page", "PAGE {\n\n\0\nInput\n"s, "PAGE {\n\n\0\nChamp\n"s},
      {"UTF-16 page comes through whole", utf16_page, utf16_page},
  };
  ExpectTranslated(cases);
}

// Safe to run twice: a translated page translates to itself and is not changed.
TEST(PageText, ATranslatedPageStaysAsItIs) {
  const std::string pages[] = {
      "[T]\r\nPAGE {\r\n  Labels Home Next Back Link Form Sound Video\r\n  Input Name=x PowerByTORVEKEN\r\n"
      "  \xFE Button Caption=\"Next\" Link=\"home\" Form Formulaire\r\n}\r\n",
      "PAGE {\nFormulaire FormFormulaire\n\xFE Form homeink HOMEINK\nForm\n",
  };
  for (const std::string& page : pages) {
    const testing::PageText once = TranslateInPieces(page);
    ASSERT_TRUE(once.changed);
    for (std::size_t size : kPieceSizes) {
      const testing::PageText twice = TranslateInPieces(once.text, size);
      EXPECT_EQ(twice.text, once.text) << "pieces of " << size;
      EXPECT_FALSE(twice.changed) << "pieces of " << size;
    }
  }
}

TEST(PageText, LongLinesAreProcessedWhole) {
  for (std::size_t length : {1023u, 1024u, 1025u, 4095u, 65535u, 65536u, 65537u, 300000u}) {
    const std::string fill(length, 'x');
    // Keywords at the start, across the middle and at the end; the marker only at the end.
    const std::string body = "Input" + fill + "Inp" + "ut" + fill + "Home\xFE\n";
    const std::string body_out = "Champ" + fill + "Champ" + fill + "Accueil\xFE\n";
    const std::string title = "Home" + fill + "Input" + fill + "back\n";
    const std::string title_out = "Accueil" + fill + "Input" + fill + "pr\xE9" "c\xE9" "dente\n";
    const std::string header = fill + "PAGE {" + fill + "Input\n";
    const std::string page = header + title + body + body;
    const std::string expected = header + title_out + body_out + body_out;
    for (std::size_t size : {std::size_t{1000}, std::size_t{4096}, std::size_t{64 * 1024}})
      EXPECT_EQ(TranslatedPage(page, size), expected) << "lines of " << length << ", pieces of " << size;
  }
}

// A mixed page: short, empty and long lines, markers, keywords and every special byte.
std::string MixedPage(std::size_t lines) {
  std::string page = "Input header Home\r\n\0\n"s + "x PAGE { y\n" + "Home Input\n";
  std::mt19937 random(7);
  const std::string pieces[] = {"Input", "Home", "\xFE", "PowerByTORVEKEN", "\r", "\0"s, "\x1A", "\xFF",
                                "back", "Form", "x", "PAGE {", " "};
  for (std::size_t i = 0; i < lines; ++i) {
    std::size_t length = random() % 8 == 0 ? random() % 3000 : random() % 40;
    for (std::size_t j = 0; j < length; ++j) page += pieces[random() % std::size(pieces)];
    page += '\n';
  }
  return page + "Input at the end";
}

TEST(PageText, SameBytesWhateverThePieceSize) {
  const std::string page = MixedPage(300);
  const std::string expected = TranslatedPage(page);
  ASSERT_NE(expected, page);
  for (std::size_t size = 16; size <= 56; ++size) EXPECT_EQ(TranslatedPage(page, size), expected) << "pieces of " << size;
}

// Pages built from the words the translation looks for, their pieces, words that an earlier
// label's French text completes ("homeink" -> "accueilink" -> "accueilien"), and the bytes
// that end or mark lines, against the plain line-by-line translation.
TEST(PageText, MatchesTheLineByLineTranslation) {
  const std::string pieces[] = {"Input", "Inp", "ut", "PowerByTORVEKEN", "PowerByTORVEK", "EN", "\xFE", "\n", "\r\n",
                                "\0"s, "PAGE {", "PAGE", " {", "home", "ink", "Link", "LINK", "next", "Next",
                                "NEXT", "back", "Back", "BACK", "Form", "ulaire", "Sound", "Video", "HOME", "Home",
                                "x", " ", "\xFF", "ext", "INK"};
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string page;
    const std::size_t length = random() % 400;
    for (std::size_t i = 0; i < length; ++i) page += pieces[random() % std::size(pieces)];
    const std::string expected = testing::ReferenceTranslation(page);
    for (std::size_t size : {std::size_t{16}, std::size_t{17}, std::size_t{31}, std::size_t{64 * 1024}}) {
      const testing::PageText out = TranslateInPieces(page, size);
      ASSERT_EQ(out.text, expected) << "round " << round << ", pieces of " << size;
      ASSERT_EQ(out.changed, expected != page) << "round " << round << ", pieces of " << size;
    }
  }
}

// Takes `allowed` writes, then refuses every one.
class RefusingSink final : public ByteSink {
 public:
  explicit RefusingSink(int allowed) : allowed_(allowed) {}
  bool Write(std::string_view bytes) noexcept override {
    if (writes_++ >= allowed_) return false;
    text_.append(bytes);
    return true;
  }
  int writes_ = 0;
  std::string text_;

 private:
  int allowed_;
};

TEST(PageText, ARefusedWriteEndsTheTranslation) {
  const std::string page = MixedPage(40);
  const std::string expected = TranslatedPage(page);
  RefusingSink counting(1 << 30);
  ASSERT_EQ(TranslateInPieces(page, 100, &counting).result, TextResult::kDone);
  for (int allowed = 0; allowed < counting.writes_; ++allowed) {
    RefusingSink sink(allowed);
    PageTranslator translator(sink);
    TextResult result = TextResult::kDone;
    while (!translator.ended()) {
      const std::size_t at = static_cast<std::size_t>(translator.next());
      result = translator.Take(std::string_view(page).substr(at, 100), at + 100 >= page.size());
    }
    EXPECT_EQ(result, TextResult::kWriteFailed) << allowed;
    EXPECT_EQ(translator.Take("more\n", true), TextResult::kWriteFailed) << allowed;
    EXPECT_EQ(sink.writes_, allowed + 1) << allowed << ": nothing is offered after a refusal";
    EXPECT_EQ(sink.text_, expected.substr(0, sink.text_.size())) << allowed;
  }
}

// The translator asks for no memory at all: lines of any length are read again from the page.
TEST(PageText, NeedsNoMemoryOfItsOwn) {
  std::string page = MixedPage(60) + "\n" + std::string(200000, 'x') + "Input\xFE" + std::string(100000, 'y') + "Home\n";
  const std::string expected = testing::ReferenceTranslation(page);
  for (std::size_t piece : {std::size_t{16}, std::size_t{500}, std::size_t{64 * 1024}}) {
    (void)testing::FailAllocationsFrom(1, true);
    const testing::PageText out = TranslateInPieces(page, piece);
    EXPECT_EQ(testing::FailAllocationsFrom(0, false), 0) << "pieces of " << piece;
    EXPECT_EQ(out.result, TextResult::kDone);
    EXPECT_FALSE(out.stuck);
    EXPECT_TRUE(out.text == expected) << "pieces of " << piece;
  }
}

}  // namespace
}  // namespace setupext
