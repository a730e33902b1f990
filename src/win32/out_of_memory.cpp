// The Windows builds have no exceptions: the program raises none, and the standard
// library's error paths, which it would otherwise reach through these functions, end
// here. Of them only running out of memory can happen in this program; there is
// nothing sensible to carry on with then, so the process ends at once. Defining them
// also keeps the library's throwing versions, and the exception machinery they drag
// in, out of the exe.
#include <bits/functexcept.h>

#include <cstddef>
#include <cstdlib>
#include <new>

// The replaceable allocation functions, without the bad_alloc the library's own raise.
void* operator new(std::size_t size) {
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  std::abort();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace std {

void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }

}  // namespace std
