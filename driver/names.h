// Predefined names: the NAME = VALUE lines of each --names file, then each --define, handed
// to the symbol table before pass 1 (a later definition of a name replaces an earlier one).
// A malformed one stops the run before anything is read or written.
#pragma once
#include "driver/options.h"

void predefine_names(const Options& options);
// Where a names file given without a folder is looked for when it is not in the working
// folder: share/xexasm/ under the installation prefix (the folder above the program's own).
std::string installed_names_folder();
