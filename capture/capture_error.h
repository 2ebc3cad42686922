#pragma once
#include <string_view>

namespace murmura {

enum class CaptureError {
    accessibilityPermissionDenied,
    eventTapCreationFailed,
    runLoopSourceCreationFailed,
};

// The fixed user-facing message of each case.
std::string_view message(CaptureError error);

}  // namespace murmura
