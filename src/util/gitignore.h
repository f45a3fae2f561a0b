#pragma once
// Paths matched against gitignore-style patterns, read as the `ignore`
// crate (which rustfmt, ripgrep and fd use) reads the lines of a .gitignore:
//
// - Blank lines and lines starting with "#" are skipped; trailing blanks are
//   dropped unless the last one is escaped ("\ "). "\#" and "\!" start a
//   pattern with that character.
// - "!" in front makes a pattern re-include what earlier ones left out; the
//   last pattern that matches a path decides.
// - A trailing "/" makes a pattern match folders only.
// - A pattern with a "/" at its start or in its middle is anchored at the
//   root; one without matches a name at any depth.
// - "*" matches any run of bytes but "/", "?" one byte but "/", "[...]" one
//   byte of a class (negated by "!" or "^", with ranges) but "/", and "\"
//   takes the next byte as it is. "**/" at the start matches any folders or
//   none, "/**/" in the middle one "/" or any folders between, "/**" at the
//   end everything below (not the folder itself), "**" alone everything;
//   "**" elsewhere is a "*".
// - A pattern that does not parse (an unclosed class) matches nothing.
//
// Paths are relative to the root the patterns belong to, with "/" between
// names; a leading "./" is dropped. Bytes are compared as they are: no case
// folding, no UTF-8 decoding.

#include <string>
#include <string_view>
#include <vector>

namespace tersify {

class GitignorePatterns {
 public:
  explicit GitignorePatterns(const std::vector<std::string>& lines);

  enum class Verdict { none, ignored, included };

  // The verdict of the last pattern that matches `path` (a folder when
  // `is_folder`), none when no pattern matches.
  Verdict verdict(std::string_view path, bool is_folder) const;

  // Whether `path` is left out: by its own verdict when it has one, else by
  // that of its nearest parent folder that has one.
  bool ignores(std::string_view path, bool is_folder = false) const;

  bool empty() const { return patterns_.empty(); }

 private:
  struct Token {
    enum class Kind {
      byte,             // `value` itself
      any,              // "?"
      star,             // "*"
      class_,           // "[...]": `ranges` as pairs of bytes, `negated`
      any_folders,      // a leading "**/": nothing, or anything ending in "/"
      below,            // a trailing "/**": "/" and anything after it
      between_folders,  // "/**/": "/", or "/" anything "/"
    };
    Kind kind;
    unsigned char value = 0;
    bool negated = false;
    std::vector<unsigned char> ranges;
  };
  struct Pattern {
    std::vector<Token> tokens;
    bool include = false;      // "!"
    bool only_folder = false;  // a trailing "/"
    bool matches_all = false;  // "**" alone
  };

  static bool parse(std::string_view glob, Pattern& pattern);
  static bool matches(const Pattern& pattern, std::string_view path);

  std::vector<Pattern> patterns_;
};

}  // namespace tersify
