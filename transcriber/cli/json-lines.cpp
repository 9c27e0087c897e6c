#include "json-lines.h"

#include <cstdio>

std::string json_escape(const char * text) {
    std::string escaped;
    for (const char * p = text; *p; ++p) {
        const unsigned char c = (unsigned char) *p;
        switch (c) {
            case '"':  escaped += "\\\""; break;
            case '\\': escaped += "\\\\"; break;
            case '\b': escaped += "\\b"; break;
            case '\f': escaped += "\\f"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\t': escaped += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    snprintf(buf, sizeof(buf), "\\u%04x", c);
                    escaped += buf;
                } else {
                    escaped += (char) c;
                }
        }
    }
    return escaped;
}

std::string float_text(double value) {
    char buf[32];
    snprintf(buf, sizeof(buf), "%g", value);
    return buf;
}

void json_lines::begin_line(const char * name) {
    for (int i = 0; i < depth; ++i) {
        out << '\t';
    }
    if (name) {
        out << '"' << name << "\": ";
    }
}

void json_lines::start_object(const char * name) {
    begin_line(name);
    out << "{\n";
    depth++;
}

void json_lines::end_object(bool last) {
    depth--;
    begin_line(nullptr);
    out << (last ? "}\n" : "},\n");
}

void json_lines::start_array(const char * name) {
    begin_line(name);
    out << "[\n";
    depth++;
}

void json_lines::end_array(bool last) {
    depth--;
    begin_line(nullptr);
    out << (last ? "]\n" : "],\n");
}

void json_lines::value_string(const char * name, const char * value, bool last) {
    begin_line(name);
    out << '"' << json_escape(value) << '"' << (last ? "\n" : ",\n");
}

void json_lines::value_int(const char * name, int64_t value, bool last) {
    begin_line(name);
    out << value << (last ? "\n" : ",\n");
}

void json_lines::value_float(const char * name, float value, bool last) {
    begin_line(name);
    out << float_text(value) << (last ? "\n" : ",\n");
}

void json_lines::value_bool(const char * name, bool value, bool last) {
    begin_line(name);
    out << (value ? "true" : "false") << (last ? "\n" : ",\n");
}
