#pragma once
// Plain diagnostic lines (no levels, no timestamps). The app prints them on standard output;
// the CLI redirects them to standard error so its standard output stays machine-readable.
#include <cstdio>
#include <string_view>

namespace murmura {

void setDiagnosticStream(std::FILE* stream);
void diagnostic(std::string_view line);

}  // namespace murmura
