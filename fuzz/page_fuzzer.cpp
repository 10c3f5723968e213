// Arbitrary bytes as a page: the translation must never crash, must give the same bytes
// whatever its buffer size and the same as the plain line-by-line translation, must keep the
// header as it is, and must leave a page without a header end byte for byte unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/reference_translation.h"
#include "template/page_localiser.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "page fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    Check(setupext::LocalisePageText({}).empty(), "an empty page gives output");
    return 0;
  }
  // The first byte picks a small buffer size, so line ends fall across buffer boundaries.
  const std::size_t small_buffer = 1 + data[0] % 32;
  const std::string_view page(reinterpret_cast<const char*>(data) + 1, size - 1);

  const std::string localised = setupext::LocalisePageText(page);
  Check(setupext::LocalisePageText(page, small_buffer) == localised, "output depends on the buffer size");
  Check(setupext::testing::ReferenceTranslation(page) == localised, "output differs from the line-by-line translation");

  const std::size_t header_end = page.find("PAGE {");
  if (header_end == std::string_view::npos) {
    Check(localised == page, "a page without a header end was changed");
    return 0;
  }
  const std::size_t line_end = page.find('\n', header_end);
  const std::size_t header_size = line_end == std::string_view::npos ? page.size() : line_end + 1;
  Check(std::string_view(localised).substr(0, header_size) == page.substr(0, header_size),
        "the header was changed");
  return 0;
}
