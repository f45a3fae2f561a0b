# The tree-sitter C library and the Rust grammar come from the npm registry as
# pinned tarballs. They are fetched with `npm pack` at configure time, checked
# against the registry's sha512 integrity (stored here in hex) and compiled as
# static libraries. Nothing of them is committed.

set(TERSIFY_DEPS_DIR "${CMAKE_SOURCE_DIR}/.deps" CACHE PATH
    "Where the pinned npm tarballs are fetched and unpacked")

# name version sha512-hex (npm "integrity", base64-decoded)
set(_ts_pkg tree-sitter)
set(_ts_version 0.25.1)
set(_ts_sha512 9ab70476462d1dfacad40e9fb373ba171901a344228395d45ea1e1c54390bb46e63e8d34405e17692c7879da5acdd1f0c674828e518a1a022a59d68de1dbd32c)
set(_rust_pkg tree-sitter-rust)
set(_rust_version 0.24.0)
set(_rust_sha512 3567a65037fadbd4df73dd18d19e79ceec0f0801e42f15a731fd91ce762ee2206492b425da8fc21c607b0abe764f23791750c0c7c1665270ed0b2f625245d911)

function(tersify_fetch_npm pkg version sha512 out_dir)
  set(tarball "${TERSIFY_DEPS_DIR}/${pkg}-${version}.tgz")
  set(unpacked "${TERSIFY_DEPS_DIR}/${pkg}-${version}")
  if(EXISTS "${tarball}")
    file(SHA512 "${tarball}" have)
    if(NOT have STREQUAL sha512)
      message(STATUS "Discarding ${tarball}: its sha512 does not match the pin")
      file(REMOVE "${tarball}")
      file(REMOVE_RECURSE "${unpacked}")
    endif()
  endif()
  if(NOT EXISTS "${tarball}")
    find_program(NPM_EXECUTABLE npm)
    if(NOT NPM_EXECUTABLE)
      message(FATAL_ERROR
        "npm is needed to fetch ${pkg}@${version}. Install Node.js and npm "
        "(Debian: apt-get install npm), then configure again.")
    endif()
    file(MAKE_DIRECTORY "${TERSIFY_DEPS_DIR}")
    message(STATUS "Fetching ${pkg}@${version} with npm pack")
    execute_process(
      COMMAND "${NPM_EXECUTABLE}" pack "${pkg}@${version}" --silent
      WORKING_DIRECTORY "${TERSIFY_DEPS_DIR}"
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT EXISTS "${tarball}")
      message(FATAL_ERROR
        "npm pack ${pkg}@${version} failed (${rc}): ${err}\n"
        "Check that this machine reaches the npm registry, or place the "
        "tarball at ${tarball} by hand, then configure again.")
    endif()
    file(SHA512 "${tarball}" have)
    if(NOT have STREQUAL sha512)
      file(REMOVE "${tarball}")
      message(FATAL_ERROR
        "${pkg}@${version} from npm does not match its pinned sha512 "
        "(got ${have}). The download was removed; configure again, and if "
        "the mismatch persists do not build with it: the registry served "
        "something other than the pinned release.")
    endif()
  endif()
  if(NOT EXISTS "${unpacked}/package/package.json")
    file(REMOVE_RECURSE "${unpacked}")
    file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${unpacked}")
  endif()
  set(${out_dir} "${unpacked}/package" PARENT_SCOPE)
endfunction()

tersify_fetch_npm(${_ts_pkg} ${_ts_version} ${_ts_sha512} TREE_SITTER_DIR)
tersify_fetch_npm(${_rust_pkg} ${_rust_version} ${_rust_sha512} TREE_SITTER_RUST_DIR)

set(_ts_lib "${TREE_SITTER_DIR}/vendor/tree-sitter/lib")
add_library(tree_sitter STATIC "${_ts_lib}/src/lib.c")
target_include_directories(tree_sitter SYSTEM PUBLIC "${_ts_lib}/include")
target_include_directories(tree_sitter PRIVATE "${_ts_lib}/src" "${_ts_lib}/src/wasm")
set_target_properties(tree_sitter PROPERTIES C_STANDARD 11 POSITION_INDEPENDENT_CODE ON)
target_compile_options(tree_sitter PRIVATE -w)
target_compile_definitions(tree_sitter PRIVATE _POSIX_C_SOURCE=200112L _DEFAULT_SOURCE)

add_library(tree_sitter_rust STATIC
  "${TREE_SITTER_RUST_DIR}/src/parser.c" "${TREE_SITTER_RUST_DIR}/src/scanner.c")
target_include_directories(tree_sitter_rust PRIVATE "${TREE_SITTER_RUST_DIR}/src")
set_target_properties(tree_sitter_rust PROPERTIES C_STANDARD 11 POSITION_INDEPENDENT_CODE ON)
target_compile_options(tree_sitter_rust PRIVATE -w)
target_link_libraries(tree_sitter_rust PUBLIC tree_sitter)

find_package(nlohmann_json 3.10 REQUIRED)

# dtl (Debian: libdtl-dev) is header-only: the diff algorithm behind --diff.
# Included as a system header, so that its warnings stay out of ours.
find_path(DTL_INCLUDE_DIR dtl/dtl.hpp)
if(NOT DTL_INCLUDE_DIR)
  message(FATAL_ERROR
    "dtl/dtl.hpp not found: the diff template library is needed to build "
    "(Debian: apt-get install libdtl-dev, or run scripts/install-deps.sh), "
    "then configure again.")
endif()
add_library(dtl INTERFACE)
target_include_directories(dtl SYSTEM INTERFACE "${DTL_INCLUDE_DIR}")

# toml++ v3 (Debian: libtomlplusplus-dev), used header-only: rustfmt.toml
# files are read as TOML, as rustfmt reads them. A system include keeps its
# warnings out of ours.
find_path(TOMLPLUSPLUS_INCLUDE_DIR toml++/toml.h)
if(NOT TOMLPLUSPLUS_INCLUDE_DIR)
  message(FATAL_ERROR
    "toml++/toml.h not found: the toml++ library is needed to build "
    "(Debian: apt-get install libtomlplusplus-dev, or run scripts/install-deps.sh), "
    "or set TOMLPLUSPLUS_INCLUDE_DIR.")
endif()
add_library(tomlplusplus_header_only INTERFACE)
target_include_directories(tomlplusplus_header_only SYSTEM INTERFACE "${TOMLPLUSPLUS_INCLUDE_DIR}")
target_compile_definitions(tomlplusplus_header_only INTERFACE TOML_HEADER_ONLY=1 TOML_EXCEPTIONS=0)

# xxHash (Debian: libxxhash-dev), used header-only (XXH_INLINE_ALL): the
# digests that name the result cache's entries. The executables gain no
# library dependency.
find_path(XXHASH_INCLUDE_DIR xxhash.h)
if(NOT XXHASH_INCLUDE_DIR)
  message(FATAL_ERROR
    "xxhash.h not found: xxHash is needed to build "
    "(Debian: apt-get install libxxhash-dev, or run scripts/install-deps.sh), "
    "then configure again.")
endif()
add_library(xxhash_headers INTERFACE)
target_include_directories(xxhash_headers SYSTEM INTERFACE "${XXHASH_INCLUDE_DIR}")

add_executable(grammar_smoke "${CMAKE_SOURCE_DIR}/cmake/smoke/grammar_smoke.c")
target_link_libraries(grammar_smoke PRIVATE tree_sitter_rust)
add_custom_command(TARGET grammar_smoke POST_BUILD
  COMMAND grammar_smoke
  COMMENT "Checking that the Rust grammar loads (language ABI 15)")
