// corvid-tool tb: looking positions up in Nalimov tables and checking table files.
#pragma once

// "tb probe <dir> <fen>": prints the table, file and index of the position and its value.
// Returns 0 when the tables answered, 1 otherwise.
int ProbeTool(const char* dir, const char* fen);
// "tb check <dir>": checks every table file in the directory (length, header, every block
// decodes and matches its checksums); one line per file, then a summary. Returns 1 when a
// file failed or none was found.
int CheckTool(const char* dir);
