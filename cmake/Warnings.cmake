# Strict warnings for the project's own code only; third-party C sources get
# their own flags in Dependencies.cmake.
add_library(tersify_warnings INTERFACE)
target_compile_options(tersify_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  -Werror)
# ThreadSanitizer's instrumentation makes g++ see null dereferences inside
# inlined library code (nlohmann::json) that no plain build sees.
if(TERSIFY_TSAN)
  target_compile_options(tersify_warnings INTERFACE -Wno-null-dereference)
endif()

# The same for C sources; the C++-only switches above would be rejected.
add_library(tersify_c_warnings INTERFACE)
target_compile_options(tersify_c_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wcast-align -Wnull-dereference -Wdouble-promotion -Wformat=2
  -Wimplicit-fallthrough -Wstrict-prototypes -Wmissing-prototypes -Werror)
