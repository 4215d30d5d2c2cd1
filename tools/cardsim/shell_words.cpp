#include "shell_words.h"

namespace cardsim {

std::optional<std::vector<std::string>> SplitShellWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '\'') {
      const std::size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) return std::nullopt;
      word.append(line, i + 1, end - i - 1);
      i = end;
      inWord = true;
    } else if (c == '"') {
      ++i;
      for (; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() &&
            (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$' || line[i + 1] == '`')) {
          ++i;
        }
        word += line[i];
      }
      if (i >= line.size()) return std::nullopt;
      inWord = true;
    } else if (c == '\\') {
      if (i + 1 < line.size()) word += line[++i];
      inWord = true;
    } else if (c == '&' && i + 1 < line.size() && line[i + 1] == '&' && !inWord) {
      words.push_back("&&");
      ++i;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace cardsim
