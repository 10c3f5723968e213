// Where translated text goes, a piece at a time.
#pragma once

#include <string_view>

namespace setupext {

// Takes text in pieces of any size (some only a few bytes: a sink that writes should buffer).
class ByteSink {
 public:
  // False when the bytes could not be taken; nothing more is written after that.
  [[nodiscard]] virtual bool Write(std::string_view bytes) noexcept = 0;

 protected:
  ~ByteSink() = default;
};

}  // namespace setupext
