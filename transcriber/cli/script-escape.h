// Quoting for the karaoke script. A drawtext text passes through bash (double quotes), the
// filter-graph parser (single quotes), the filter-option parser (backslash escapes) and
// drawtext's own expansion (backslash escapes and "%{...}") before it is drawn; each
// function below undoes one of those levels in advance.
#pragma once

#include <string>

// `text` as one bash word in single quotes ("it's" -> 'it'\''s').
std::string bash_single_quoted(const std::string & text);

// `text` made safe inside a bash double-quoted string: \ " $ ` get a backslash.
std::string bash_double_quoted_body(const std::string & text);

// `text` inside a single-quoted filter-graph value: each ' becomes '\'' (close, escaped
// quote, reopen).
std::string graph_quoted_body(const std::string & text);

// Raw text made literal for the option parser (\ : ' escaped) and, with `for_drawtext`,
// for drawtext's expansion first (\ and % escaped), so that it is used as it stands.
std::string option_literal(const std::string & text, bool for_drawtext);
