// The UCI option list and setoption: the shell's door to the settings.
#pragma once

#include "core/settings.h"

void PrintOptionList();
void PrintBookStatus();
void SetOption(const char* text);
