// Each group of the program's globals is written once as a list of
// STATE(name, {start}) entries; its source file defines the globals from the
// list and its reset assigns the same start values back, so the two cannot
// drift apart. {} is the type's empty or zero value.
#pragma once

#define DEFINE_STATE(name, start) decltype(name) name start;
#define RESET_STATE(name, start) name = decltype(name) start;
