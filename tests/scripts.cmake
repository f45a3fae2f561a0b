# Script-driven checks over published crates from Debian's registry: the
# token checker itself, the compaction property check, and the verification
# of whole runs of cargo-tersify. They need the bench tools (bench/ is added
# after tests/, so the targets are named here before they exist).

# The Debian package, built with cpack from this build and run from where it
# unpacks. Sanitizer builds would package executables that need the
# sanitizer runtimes.
if(NOT TERSIFY_SANITIZE)
  add_test(NAME debian_package
    COMMAND ${PROJECT_SOURCE_DIR}/tests/scripts/package_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(debian_package PROPERTIES TIMEOUT 300)
endif()

# The pre-commit hooks of .pre-commit-hooks.yaml, run by the pre-commit
# framework in a real git repository.
add_test(NAME pre_commit_hooks
  COMMAND ${PROJECT_SOURCE_DIR}/tests/scripts/pre_commit_test.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE_DIR:cargo-tersify>)
set_tests_properties(pre_commit_hooks PROPERTIES TIMEOUT 120)

if(NOT TERSIFY_BENCH OR TERSIFY_FUZZ)
  return()
endif()

set(TERSIFY_CORPUS_DIR ${CMAKE_CURRENT_BINARY_DIR}/corpus)

# Fresh crate copies shared by the checks below (installs missing packages
# when run as root).
add_test(NAME corpus_setup
  COMMAND ${PROJECT_SOURCE_DIR}/bench/corpus.sh ${TERSIFY_CORPUS_DIR}
          serde memchr tokio nom)
set_tests_properties(corpus_setup PROPERTIES FIXTURES_SETUP crate_corpus TIMEOUT 600)

add_test(NAME token_check_verdicts
  COMMAND ${PROJECT_SOURCE_DIR}/tests/scripts/token_check_test.sh $<TARGET_FILE:tersify-token-check>)

# At width 100 many joins are decided by the width alone.
add_test(NAME compact_property_on_crates
  COMMAND $<TARGET_FILE:tersify-compact-property> --width 100
          ${TERSIFY_CORPUS_DIR}/serde ${TERSIFY_CORPUS_DIR}/memchr ${TERSIFY_CORPUS_DIR}/nom)
set_tests_properties(compact_property_on_crates PROPERTIES FIXTURES_REQUIRED crate_corpus TIMEOUT 600)

# The nodes that rustfmt's skip attributes leave alone come out of compact
# as rustfmt gave them (nom and tokio hold such attributes).
add_test(NAME compact_skipped_on_crates
  COMMAND $<TARGET_FILE:tersify-compact-property> --skipped
          ${TERSIFY_CORPUS_DIR}/nom ${TERSIFY_CORPUS_DIR}/tokio)
set_tests_properties(compact_skipped_on_crates PROPERTIES FIXTURES_REQUIRED crate_corpus TIMEOUT 600)

add_test(NAME verify_tersify_on_crates
  COMMAND ${CMAKE_COMMAND} -E env
          TERSIFY=$<TARGET_FILE:cargo-tersify> TOKEN_CHECK=$<TARGET_FILE:tersify-token-check>
          ${PROJECT_SOURCE_DIR}/bench/verify.sh ${TERSIFY_CORPUS_DIR}/memchr)
set_tests_properties(verify_tersify_on_crates PROPERTIES FIXTURES_REQUIRED crate_corpus TIMEOUT 900)

