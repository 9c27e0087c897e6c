// "@file" command lines: one argument per line of the file.
#pragma once

#include <string>
#include <vector>

// The argument vector after response-file expansion. When argv is a single "@path"
// argument, the result is argv[0] followed by the lines of that file; otherwise it is
// argv unchanged. An unreadable file ends the process with status 1.
std::vector<std::string> expand_response_file(int argc, char ** argv);

// Splits file content into arguments: every line feed ends one; a final line without a
// line feed counts, a line feed at the very end does not start another.
std::vector<std::string> split_response_lines(const std::string & content);
