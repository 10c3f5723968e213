// A module built on the same runtime as setupext.dll whose one operation throws and catches
// inside itself, through frames with destructors: the path a real operation takes only when
// memory runs out.
#include <new>
#include <stdexcept>
#include <string>

namespace {

[[gnu::noinline]] void Fail(int depth) {
  std::string held(64, 'x');  // unwound on the way out
  if (depth == 0) throw std::bad_alloc();
  Fail(depth - 1);
}

}  // namespace

extern "C" __declspec(dllexport) int __stdcall ThrowAndCatch(void*) {
  try {
    try {
      Fail(3);
    } catch (const std::bad_alloc&) {
      throw;  // a rethrow while the first is still being handled
    }
  } catch (const std::exception&) {
    return 1;
  }
  return 0;
}
