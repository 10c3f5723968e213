// Parts of the C++ runtime the module replaces to stay small: the default terminate handler
// names the exception through the demangler and prints it, and the library's throw helpers
// format their messages with printf-style code and build string-holding exceptions. No
// exception leaves an operation, so these matter only if something is badly wrong.
#include <windows.h>

#include <exception>
#include <new>

namespace {

// A library precondition failed (a length or position out of range): the message is the
// library's own literal, kept as it is.
class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace

// The runtime's default terminate handler, under the name the runtime installs: ends the host
// without a message or a dialog, with the exit code of an abort.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  TerminateProcess(GetCurrentProcess(), 3);
  __builtin_unreachable();
}
}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw LibraryError("bad cast"); }
void __throw_bad_typeid() { throw LibraryError("bad typeid"); }
void __throw_bad_exception() { throw LibraryError("bad exception"); }
void __throw_logic_error(const char* message) { throw LibraryError(message); }
void __throw_domain_error(const char* message) { throw LibraryError(message); }
void __throw_invalid_argument(const char* message) { throw LibraryError(message); }
void __throw_length_error(const char* message) { throw LibraryError(message); }
void __throw_out_of_range(const char* message) { throw LibraryError(message); }
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
void __throw_runtime_error(const char* message) { throw LibraryError(message); }
void __throw_range_error(const char* message) { throw LibraryError(message); }
void __throw_overflow_error(const char* message) { throw LibraryError(message); }
void __throw_underflow_error(const char* message) { throw LibraryError(message); }

}  // namespace std
