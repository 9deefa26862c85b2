// corvid-tool learn: shows what the engine has learned in a learning file.
#pragma once

// "learn show <file>": one line per learned position (key, side to move, best
// move, score, bound, draft, learning age). Returns 1 when the file cannot be
// read or is not a learning file.
int ShowLearnFile(const char* path);
