#include "uninstaller/CommandLine.h"

#include <cwctype>
#include <vector>

namespace qrn {
namespace {

// Splits at blanks and tabs; double quotes group blanks into a word and are
// dropped. Enough for a switch: the words that matter hold no quotes.
std::vector<std::wstring> Words(const std::wstring& commandLine) {
  std::vector<std::wstring> words;
  std::wstring word;
  bool quoted = false;
  bool inWord = false;
  for (wchar_t c : commandLine) {
    if (c == L'"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == L' ' || c == L'\t')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace

bool HasSilentSwitch(const std::wstring& commandLine) {
  const std::vector<std::wstring> words = Words(commandLine);
  for (size_t i = 1; i < words.size(); ++i) {
    const std::wstring& w = words[i];
    if (w.size() == 2 && w[0] == L'-' && std::towupper(w[1]) == L'S') return true;
  }
  return false;
}

}  // namespace qrn
