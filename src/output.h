// The output writer interface: the search reports through it without
// depending on the command layer that implements it. It only writes; the
// stop signal travels apart (signals.h).
#pragma once

#include <string_view>

namespace kestrune {

class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Writes the text and exactly one "\n", then flushes.
    virtual void write_line(std::string_view text) = 0;
};

}  // namespace kestrune
