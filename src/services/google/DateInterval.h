#pragma once

#include "utilities/Instant.h"

// A closed stretch of time: both ends belong to it.
struct DateInterval {
    Instant start;
    Instant end;

    bool contains(Instant t) const { return start <= t && t <= end; }
    bool operator==(const DateInterval&) const = default;
};
