// A line-by-line JSON writer with tab indentation: each call writes one complete line.
// `last` says whether the member ends its object or array (no trailing comma).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

struct json_lines {
    std::ostream & out;
    int depth = 0;

    void start_object(const char * name = nullptr);
    void end_object(bool last);
    void start_array(const char * name);
    void end_array(bool last);

    void value_string(const char * name, const char * value, bool last);
    void value_int(const char * name, int64_t value, bool last);
    void value_float(const char * name, float value, bool last);
    void value_bool(const char * name, bool value, bool last);

private:
    void begin_line(const char * name);
};

// The text as a JSON string body: the quote and the backslash get a backslash, control
// characters become \b \f \n \r \t or \u00XX, all other bytes (UTF-8 included) stay raw.
std::string json_escape(const char * text);

// printf's "%g" form: six significant digits, trailing zeros dropped.
std::string float_text(double value);
