// The karaoke video script: a bash script that renders the input audio over a black
// picture with ffmpeg, showing each segment and highlighting the token being spoken.
#include "writers.h"

#include "diagnostics.h"
#include "json-lines.h"
#include "script-escape.h"
#include "time-helpers.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace {

// drawtext texts use "\ " for a blank that must not be trimmed away.
const char * const k_blank = "\\ ";

std::string time_text(int64_t t) {
    return float_text((double) t / 100.0);
}

// The apostrophe is shown as U+2019, as the highlighted and plain texts always have been.
std::string shown_text(const std::string & text) {
    std::string out;
    for (char c : text) {
        out += c == '\'' ? std::string("\xE2\x80\x99") : std::string(1, c);
    }
    return out;
}

struct drawtext_writer {
    std::ostream & out;
    std::string font; // already escaped for the option and graph levels

    void element(const char * color_and_position, const std::string & text, int64_t t0, int64_t t1) {
        const std::string body = "drawtext=fontfile='" + font + "':fontsize=24:" + color_and_position + ":text='" +
                                 graph_quoted_body(text) + "':enable='between(t," + time_text(t0) + "," +
                                 time_text(t1) + ")'";
        out << bash_double_quoted_body(body);
    }
};

} // namespace

void output_wts(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s,
                const std::string & fname_inp, float t_sec, const std::string & fname_out) {
    static const std::string font = params.font_path; // captured at the first use in the run

    if (FILE * f = fopen(font.c_str(), "rb")) {
        fclose(f);
    } else {
        fprintf(stderr, "%s: font not found at '%s', please specify a monospace font with -fp\n", "output_wts",
                font.c_str());
        return;
    }

    const std::string input_word = bash_single_quoted(fname_inp);
    const std::string video_word = bash_single_quoted(fname_inp + ".mp4");
    // Escaped for the option level, then quoted for the graph level like the texts.
    drawtext_writer draw{fout, graph_quoted_body(option_literal(font, false))};

    fout << "#!/bin/bash" << "\n" << "\n";
    fout << "ffmpeg -i " << input_word << " -f lavfi -i color=size=1200x120:duration=" << float_text(t_sec)
         << ":rate=25:color=black -vf \"";

    const whisper_token eot = whisper_token_eot(ctx);
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; i++) {
        const int64_t t0 = whisper_full_get_segment_t0(ctx, i);
        const int64_t t1 = whisper_full_get_segment_t1(ctx, i);

        if (i > 0) {
            fout << ",";
        }
        draw.element("fontcolor=gray:x=(w-text_w)/2:y=h/2", "", t0, t0);

        std::vector<whisper_token_data> tokens;
        for (int j = 0; j < whisper_full_n_tokens(ctx, i); ++j) {
            tokens.push_back(whisper_full_get_token_data(ctx, i, j));
        }

        const std::string speaker = shown_text(segment_speaker(params, pcmf32s, t0, t1));
        const std::string speaker_literal = option_literal(speaker, true);

        bool first = true;
        for (size_t j = 0; j < tokens.size(); j++) {
            if (tokens[j].id >= eot) {
                continue;
            }

            std::string background, foreground, underline;
            if (!speaker.empty()) {
                background = foreground = speaker_literal;
                for (int k = 0; k < 11; k++) {
                    underline += k_blank;
                }
            }
            background += "> ";
            foreground += "> ";
            underline += std::string(k_blank) + k_blank;

            for (size_t k = 0; k < tokens.size(); k++) {
                if (tokens[k].id >= eot) {
                    continue;
                }
                const std::string raw = whisper_token_to_str(ctx, tokens[k].id);
                const std::string literal = option_literal(shown_text(raw), true);
                background += literal;
                if (k == j) {
                    foreground += literal + "|";
                    underline += std::string(raw.size(), '_');
                } else {
                    for (size_t b = 0; b < raw.size(); b++) {
                        foreground += k_blank;
                        underline += k_blank;
                    }
                }
            }

            if (first) {
                fout << ",";
                draw.element("fontcolor=gray:x=(w-text_w)/2:y=h/2", background, t0, t1);
            }
            fout << ",";
            draw.element("fontcolor=lightgreen:x=(w-text_w)/2+8:y=h/2", foreground, tokens[j].t0, tokens[j].t1);
            fout << ",";
            draw.element("fontcolor=lightgreen:x=(w-text_w)/2+8:y=h/2+16", underline, tokens[j].t0, tokens[j].t1);
            first = false;
        }
    }

    fout << "\" -c:v libx264 -pix_fmt yuv420p -y " << video_word << "\n";
    fout << "\n\n";
    fout << "echo \"Your video has been saved to " << bash_double_quoted_body(fname_inp) << ".mp4\"" << "\n";
    fout << "\n";
    fout << "echo \"  ffplay " << bash_double_quoted_body(fname_inp) << ".mp4\"\n";
    fout << "\n";
    fout.flush();

    diag_info("# %s: run 'source %s' to generate karaoke video\n", "output_wts", fname_out.c_str());
}
