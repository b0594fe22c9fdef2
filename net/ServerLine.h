#pragma once
// One line received from the server, split into its reply code and its
// arguments. This is the only place where server lines are split.
//
// A value type; any thread.

#include <string>
#include <string_view>
#include <vector>

struct ServerLine
{
    // The first three characters of the line (fewer when the line is shorter).
    std::string code;
    // Blank-separated arguments after the code. An argument that begins with
    // ":" is the last one and runs to the end of the line, blanks included;
    // the ":" itself is left out.
    std::vector<std::string> args;

    // Splits one line that has no line end. The code needs no blank after it.
    static ServerLine from_string(std::string_view line);
};
