// Position learning: the learning file and its exchange with the transposition table.
#pragma once

// Reads the learning file into the transposition table as pinned entries.
// Called after every table allocation while Position Learning is on.
// For now it loads nothing: the learning file is not read yet.
void LoadLearning();

// Merges the table's pinned entries into the learning file and writes it.
// Called when Position Learning is switched off while learned positions are
// unsaved, and at shut-down. For now it writes nothing.
void SaveLearning();
