#pragma once

#include <charconv>
#include <string_view>
#include <vector>

// Reading the kernel's text tables (/proc/net/*): words, lines, numbers.
namespace velmar::agent {

// The words of a line, split at blanks and tabs.
inline std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
      ++i;
    }
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      ++i;
    }
    if (i > start) {
      words.push_back(line.substr(start, i - start));
    }
  }
  return words;
}

// Calls `fn` with each line of `content`, the last one with or without its
// newline.
template <typename Fn>
void ForEachLine(std::string_view content, Fn fn) {
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) {
      end = content.size();
    }
    fn(content.substr(pos, end - pos));
    pos = end + 1;
  }
}

// The whole of `text` as a number; false for anything else.
template <typename T>
bool ParseNumber(std::string_view text, T& out, int base = 10) {
  if (text.empty()) {
    return false;
  }
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace velmar::agent
