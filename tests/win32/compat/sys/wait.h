// The Windows runtime has no <sys/wait.h>. Host tests that include it use
// its macros only to run the quillo tool, which the Windows test build does
// not have; they compile those parts only when QUILLO_TOOL_PATH is defined.
#pragma once
