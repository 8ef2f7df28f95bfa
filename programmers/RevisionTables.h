// The programmer type tables, one per firmware generation, from
// "\revisions.inf", "\revisionsV2.inf" and "\revisionsV3.inf".
#pragma once

// Reads the three tables. False, with the last-error record naming the file,
// when a file is missing or holds a line that is not a type record; what
// could be read is kept.
bool LoadRevisionTables();
