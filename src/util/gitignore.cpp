// Each pattern becomes a list of tokens, matched against a path by dynamic
// programming over (token, byte): no backtracking, so no pattern can take
// more than patterns times path length steps.

#include "util/gitignore.h"

#include <utility>

namespace tersify {
namespace {

constexpr std::string_view trailing_blanks = " \t\r\n\v\f";

std::string_view without_leading_dot_slash(std::string_view path) {
  if (path.starts_with("./")) path.remove_prefix(2);
  return path;
}

}  // namespace

GitignorePatterns::GitignorePatterns(const std::vector<std::string>& lines) {
  for (const auto& text : lines) {
    std::string_view line = text;
    if (line.starts_with('#')) continue;
    if (!line.ends_with("\\ ")) {
      auto end = line.find_last_not_of(trailing_blanks);
      line = end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
    }
    if (line.empty()) continue;
    Pattern pattern;
    bool anchored = false;
    if (line.starts_with("\\!") || line.starts_with("\\#")) {
      line.remove_prefix(1);
    } else {
      if (line.starts_with('!')) {
        pattern.include = true;
        line.remove_prefix(1);
      }
      if (line.starts_with('/')) {
        anchored = true;
        line.remove_prefix(1);
      }
    }
    if (line.ends_with('/')) {
      pattern.only_folder = true;
      line.remove_suffix(1);
      if (line.ends_with('\\')) line.remove_suffix(1);
    }
    std::string glob(line);
    // A name alone matches at any depth.
    if (!anchored && glob.find('/') == std::string::npos && !glob.starts_with("**/") && glob != "**") {
      glob = "**/" + glob;
    }
    // What lies below a folder, not the folder itself.
    if (glob.ends_with("/**")) glob += "/*";
    if (parse(glob, pattern)) patterns_.push_back(std::move(pattern));
  }
}

bool GitignorePatterns::parse(std::string_view glob, Pattern& pattern) {
  auto& tokens = pattern.tokens;
  auto push = [&](Token::Kind kind, unsigned char value = 0) { tokens.push_back(Token{kind, value, false, {}}); };
  std::size_t i = 0;
  while (i < glob.size()) {
    auto c = static_cast<unsigned char>(glob[i]);
    if (c == '\\') {
      if (i + 1 == glob.size()) return false;
      push(Token::Kind::byte, static_cast<unsigned char>(glob[i + 1]));
      i += 2;
    } else if (c == '?') {
      push(Token::Kind::any);
      ++i;
    } else if (c == '[') {
      Token token{Token::Kind::class_, 0, false, {}};
      ++i;
      if (i < glob.size() && (glob[i] == '!' || glob[i] == '^')) {
        token.negated = true;
        ++i;
      }
      // "]" first is a member; "-" first or last is one; otherwise "a-z".
      bool first = true;
      bool in_range = false;
      for (;;) {
        if (i == glob.size()) return false;
        auto member = static_cast<unsigned char>(glob[i++]);
        if (member == ']' && !first) break;
        auto& ranges = token.ranges;
        if (member == '-' && !first && !in_range) {
          in_range = true;
        } else if (in_range) {
          if (member < ranges[ranges.size() - 2]) return false;
          ranges.back() = member;
          in_range = false;
        } else {
          ranges.push_back(member);
          ranges.push_back(member);
        }
        first = false;
      }
      if (in_range) {
        token.ranges.push_back('-');
        token.ranges.push_back('-');
      }
      tokens.push_back(std::move(token));
    } else if (c == '*' && i + 1 < glob.size() && glob[i + 1] == '*') {
      bool after_slash = i > 0 && glob[i - 1] == '/';
      i += 2;
      bool at_end = i == glob.size();
      bool slash_next = !at_end && glob[i] == '/';
      if (!(at_end || slash_next) || (!tokens.empty() && !after_slash)) {
        push(Token::Kind::star);  // "**" inside a name is a "*"
        continue;
      }
      if (slash_next) ++i;
      if (tokens.empty()) {
        push(Token::Kind::any_folders);
        continue;
      }
      Token::Kind last = tokens.back().kind;
      if (last == Token::Kind::any_folders || last == Token::Kind::below) continue;
      tokens.pop_back();  // the "/" that the new token begins with
      push(at_end ? Token::Kind::below : Token::Kind::between_folders);
    } else {
      push(c == '*' ? Token::Kind::star : Token::Kind::byte, c);
      ++i;
    }
  }
  // "**" (or "**/") alone: everything, not only what ends in a "/".
  pattern.matches_all = tokens.size() == 1 && tokens[0].kind == Token::Kind::any_folders;
  return true;
}

bool GitignorePatterns::matches(const Pattern& pattern, std::string_view path) {
  if (pattern.matches_all) return true;
  const std::size_t n = path.size();
  // next[j]: the tokens after the current one match path[j..]; row[j]: the
  // current one onwards does.
  std::vector<char> next(n + 1, 0);
  std::vector<char> row(n + 1, 0);
  std::vector<char> slash_then(n + 1, 0);  // some "/" at k >= j with next[k + 1]
  std::vector<char> any_then(n + 2, 0);    // some k >= j with next[k]
  next[n] = 1;
  for (std::size_t t = pattern.tokens.size(); t-- > 0;) {
    const Token& token = pattern.tokens[t];
    slash_then[n] = 0;
    any_then[n + 1] = 0;
    any_then[n] = next[n];
    for (std::size_t j = n; j-- > 0;) {
      slash_then[j] = slash_then[j + 1] || (path[j] == '/' && next[j + 1]);
      any_then[j] = any_then[j + 1] || next[j];
    }
    for (std::size_t j = n + 1; j-- > 0;) {
      bool here = j < n;
      auto c = here ? static_cast<unsigned char>(path[j]) : 0;
      bool ok = false;
      switch (token.kind) {
        case Token::Kind::byte:
          ok = here && c == token.value && next[j + 1];
          break;
        case Token::Kind::any:
          ok = here && c != '/' && next[j + 1];
          break;
        case Token::Kind::class_: {
          bool member = false;
          for (std::size_t r = 0; r < token.ranges.size(); r += 2) {
            member = member || (token.ranges[r] <= c && c <= token.ranges[r + 1]);
          }
          ok = here && c != '/' && member != token.negated && next[j + 1];
          break;
        }
        case Token::Kind::star:
          ok = next[j] || (here && c != '/' && row[j + 1]);
          break;
        case Token::Kind::any_folders:
          ok = next[j] || slash_then[j];
          break;
        case Token::Kind::below:
          ok = here && c == '/' && any_then[j + 1];
          break;
        case Token::Kind::between_folders:
          ok = here && c == '/' && slash_then[j];
          break;
      }
      row[j] = ok;
    }
    std::swap(row, next);
  }
  return next[0] != 0;
}

GitignorePatterns::Verdict GitignorePatterns::verdict(std::string_view path, bool is_folder) const {
  path = without_leading_dot_slash(path);
  for (auto it = patterns_.rbegin(); it != patterns_.rend(); ++it) {
    if (it->only_folder && !is_folder) continue;
    if (matches(*it, path)) return it->include ? Verdict::included : Verdict::ignored;
  }
  return Verdict::none;
}

bool GitignorePatterns::ignores(std::string_view path, bool is_folder) const {
  if (patterns_.empty()) return false;
  path = without_leading_dot_slash(path);
  for (;;) {
    if (auto found = verdict(path, is_folder); found != Verdict::none) return found == Verdict::ignored;
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return false;
    path = path.substr(0, slash);
    is_folder = true;
  }
}

}  // namespace tersify
