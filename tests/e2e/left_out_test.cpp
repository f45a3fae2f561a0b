// Files a run leaves alone although they lie below its paths: vendored
// crates, whose files cargo checks against their checksums, and what the
// configuration's `ignore` list names.

#include <gtest/gtest.h>

#include "e2e/outcome.h"
#include "e2e/project.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

// A package that builds with `either` from a vendor/ folder as `cargo
// vendor` makes it: the crate's files with their sums in
// .cargo-checksum.json, and cargo pointed at the folder.
TEST(LeftOut, AVendoredCrateKeepsItsChecksumsThroughAWrite) {
  std::string either = registry_crate("either");
  ASSERT_FALSE(either.empty()) << "either is not installed (scripts/install-deps.sh --test)";
  TempDir dir;
  dir.write("Cargo.toml", manifest("vendoring", "2021") + "\n[dependencies]\neither = \"1\"\n");
  dir.write(".cargo/config.toml",
            "[source.crates-io]\nreplace-with = \"vendored\"\n\n[source.vendored]\ndirectory = \"vendor\"\n");
  const std::string main_text =
      "use either::Either;\nfn  main( ){let e: Either<i32, ()> = Either::Left(1);println!(\"{}\",e.is_left());}\n";
  dir.write("src/main.rs", main_text);
  copy_tree(either, dir / "vendor/either");
  auto summed = run_command(
      {"sh", "-c",
       "cd vendor/either && { printf '{\"files\":{'; sep=; for f in $(find . -type f ! -name .cargo-checksum.json "
       "| sed 's|^./||'); do printf '%s\"%s\":\"%s\"' \"$sep\" \"$f\" \"$(sha256sum \"$f\" | cut -d' ' -f1)\"; "
       "sep=,; done; printf '},\"package\":null}'; } >.cargo-checksum.json"},
      cwd_options(dir.path()));
  ASSERT_EQ(summed.status, 0) << summed.err;
  const auto vendored = snapshot(dir / "vendor");

  // Named on the command line, it stops the run before anything.
  EXPECT_EQ(ended(tersify_in(dir.path(), {"src", "vendor/either/src/lib.rs"})),
            std::tuple(2, "", "vendor/either/src/lib.rs: part of the vendored crate " +
                                  real_path(dir / "vendor/either") +
                                  " (it holds .cargo-checksum.json): a change would break the checksums that cargo "
                                  "checks\n"));
  EXPECT_EQ(dir.read("src/main.rs"), main_text);
  EXPECT_FALSE(dir.exists("rustfmt.toml"));

  EXPECT_EQ(ended(tersify_in(dir.path(), {})), std::tuple(0, "", ""));
  EXPECT_NE(dir.read("src/main.rs"), main_text);
  EXPECT_EQ(snapshot(dir / "vendor"), vendored);
  CommandOptions options = cwd_options(dir.path());
  options.env = {"CARGO_TARGET_DIR=" + dir / "target"};
  auto built = run_command({"cargo", "check", "--offline", "--quiet"}, options);
  EXPECT_EQ(built.status, 0) << built.err;
}

// rustfmt's `ignore` patterns are relative to the configuration file's
// folder. Stable rustfmt refuses to apply them and warns so on every run;
// the tool applies them, and the warning shows nowhere.
TEST(LeftOut, AnIgnoreEntryLeavesAFileThatRustfmtRejectsOutOfTheRun) {
  TempDir dir;
  write_package(dir, "", "ignoring", "2021");
  dir.write("rustfmt.toml", "ignore = [\"src/broken.rs\", \"generated/\"]\n");
  const std::string broken = "fn broken( {\n";
  dir.write("src/lib.rs", messy_source);
  dir.write("src/broken.rs", broken);
  dir.write("src/generated/table.rs", messy_source);

  EXPECT_EQ(ended(tersify_in(dir.path(), {})), std::tuple(0, "", ""));
  EXPECT_TRUE(formatted(dir.read("src/lib.rs")));
  EXPECT_EQ(dir.read("src/broken.rs"), broken);
  EXPECT_EQ(dir.read("src/generated/table.rs"), messy_source);
  EXPECT_EQ(ended(tersify_in(dir.path(), {"--check", "src/broken.rs"})), std::tuple(0, "", ""));
  // The editor's filter gives such a file's text back as it is.
  EXPECT_EQ(ended(run_filter({"--stdin-filename", "src/broken.rs"}, in_folder(dir.path(), broken))),
            std::tuple(0, broken, ""));

  // A file that is not left out fails in rustfmt's words alone.
  dir.write("src/lib.rs", broken);
  auto failed = tersify_in(dir.path(), {"--check"});
  EXPECT_EQ(failed.status, 2);
  EXPECT_TRUE(failed.err.starts_with("./src/lib.rs: error: this file contains an unclosed delimiter\n --> "
                                     "./src/lib.rs:1:"))
      << failed.err;
  EXPECT_EQ(failed.err.find("Warning"), std::string::npos) << failed.err;
}

}  // namespace
}  // namespace tersify::test
