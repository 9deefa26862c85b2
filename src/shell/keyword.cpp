#include "shell/keyword.h"

#include <cctype>

const char* SkipBlanks(const char* cursor) {
  while (*cursor == ' ') ++cursor;
  return cursor;
}

bool MatchKeyword(const char*& cursor, const char* keyword) {
  const char* p = cursor;
  for (; *keyword; ++keyword, ++p) {
    if (*p == 0) return false;
    if (std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*keyword)))
      return false;
  }
  if (*p != 0 && !std::isspace(static_cast<unsigned char>(*p))) return false;
  cursor = SkipBlanks(p);
  return true;
}
