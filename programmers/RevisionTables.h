// The programmer type tables, one per firmware generation, from
// "\revisions.inf", "\revisionsV2.inf" and "\revisionsV3.inf".
#pragma once

#include <string>
#include <vector>

#include "programmers/UnitState.h"

// Reads the three tables. False, with the last-error record naming the file,
// when a file is missing or holds a line that is not a type record; what
// could be read is kept.
bool LoadRevisionTables();

// Every type record of the three files, in file order ("\revisions.inf"
// first), for the factory's choice of a file set; records without a type
// name (unused type codes) are left out. False as above. `generations`, when
// given, gets each record's firmware generation (1, 2 or 3: the file it is from).
bool LoadFactoryTypeList(std::vector<ProgTypeInfo>& types, std::vector<int>* generations = nullptr);

// The firmware generation of a revision text: 1, 2 or 3.
int FirmwareGeneration(const std::string& revision);
