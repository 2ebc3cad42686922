#pragma once
// Captures the diagnostic lines written while alive.
#include <cstdio>
#include <string>

#include "support/diagnostics.h"

namespace murmura::test {

class Diagnostics {
public:
    Diagnostics() : file_(std::tmpfile()) { setDiagnosticStream(file_); }
    ~Diagnostics() {
        setDiagnosticStream(nullptr);
        std::fclose(file_);
    }
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;
    std::string text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string out;
        char buffer[512];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, file_)) out.append(buffer, n);
        return out;
    }

private:
    std::FILE* file_;
};

}  // namespace murmura::test
