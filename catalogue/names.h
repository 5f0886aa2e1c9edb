// Model and port names as people type them: on the tool's command line and
// in the MSI's properties. One reading for both, so the package accepts
// exactly what the tool does.
#pragma once

namespace setup {

// ASCII letters compared without regard to case, as Windows compares names.
bool sameTextIgnoringCase(const char* a, const char* b);

// The catalogue row of a model name in any case, or -1.
int findModel(const char* name);
// The port index of "LPT1" ... "COM4", with or without the colon, any case; or -1.
int findPort(const char* name);

}  // namespace setup
