// The keyword rule of the UCI commands and options.
#pragma once

// Skips blank characters (only ' ').
const char* SkipBlanks(const char* cursor);

// True when `keyword` stands at the cursor, letter for letter ignoring case,
// followed by white space or the end of the text; the cursor then moves past
// the keyword and the blanks after it. Otherwise the cursor is left alone.
bool MatchKeyword(const char*& cursor, const char* keyword);
