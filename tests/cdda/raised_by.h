#pragma once
// The CDReaderException a step raises, for checks of its fields.
#include "cdda/cd_reader.h"

#include <gtest/gtest.h>

namespace korvane::testing {

// What `action` raises; a test failure, and {0, 0}, when it raises nothing.
template <typename Action>
cdda::CDReaderException RaisedBy(Action action) {
    try {
        action();
    } catch (const cdda::CDReaderException& e) {
        return e;
    }
    ADD_FAILURE() << "no CDReaderException";
    return {0, 0};
}

}  // namespace korvane::testing
