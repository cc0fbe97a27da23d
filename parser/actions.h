// The semantic action of every production: the whole of the assembler's work.
#pragma once
#include "parser/engine.h"

// Carries out the action of `production`; base[k] holds its k-th right-hand symbol, and
// base[0] receives the result. Productions without an action do nothing.
void reduction_action(int production, ParseValue* base);
// True for the productions whose action only passes the first symbol's value on (it does
// nothing): an engine may leave their reduction_action calls out.
bool action_passes_value(int production);
// True for the productions that complete a statement (code, data, a label, a section):
// messages about it point at the first token of its base entry.
bool is_statement_production(int production);
