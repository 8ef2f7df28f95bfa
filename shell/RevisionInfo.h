// The revision history of the about box, from "\RevisionInfo.txt": every
// field on a line of its own, headings ("***…") as they are, the rest
// indented by a tab.
#pragma once

#include <string>

std::string RevisionInfoText(const std::string& path);
