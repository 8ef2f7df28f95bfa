// kestrin-cli log: prints the run log.
#pragma once

// The help's paragraphs of the log command.
extern const char* const LogDetails;
