// Transcripts for other programs: CSV, JSON (plain and full) and the token score list.
#include "writers.h"

#include "json-lines.h"
#include "time-helpers.h"

#include <vector>

int utf8_trailing_bytes_needed(const std::string & text) {
    int count = 0;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const unsigned char c = (unsigned char) *it;
        count++;
        if ((c & 0xC0) == 0x80) {
            continue; // continuation byte
        }
        int needed;
        if (c < 0x80) {
            needed = 1;
        } else if ((c & 0xE0) == 0xC0) {
            needed = 2;
        } else if ((c & 0xF0) == 0xE0) {
            needed = 3;
        } else if ((c & 0xF8) == 0xF0) {
            needed = 4;
        } else {
            return 0;
        }
        return count < needed ? needed - count : 0;
    }
    return 0;
}

void output_csv(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s) {
    const bool with_speaker = params.diarize && pcmf32s.size() == 2;
    fout << "start,end," << (with_speaker ? "speaker," : "") << "text\n";

    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const int64_t t0 = whisper_full_get_segment_t0(ctx, i);
        const int64_t t1 = whisper_full_get_segment_t1(ctx, i);
        fout << t0 * 10 << "," << t1 * 10 << ",";
        if (with_speaker) {
            fout << estimate_diarization_speaker(pcmf32s, t0, t1, true) << ",";
        }
        fout << '"';
        for (const char * p = whisper_full_get_segment_text(ctx, i); *p; ++p) {
            if (*p == '"') {
                fout << '"';
            }
            fout << *p;
        }
        fout << "\"\n";
    }
}

void output_score(whisper_context * ctx, std::ostream & fout, const whisper_params &, const channel_samples &) {
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const int n_tokens = whisper_full_n_tokens(ctx, i);
        for (int j = 0; j < n_tokens; ++j) {
            fout << whisper_full_get_token_text(ctx, i, j) << "\t" << float_text(whisper_full_get_token_p(ctx, i, j))
                 << "\n";
            fout.flush();
        }
    }
}

namespace {

struct token_group {
    std::string text;
    whisper_token_data first;
    int64_t end;
};

// Merges tokens until each group ends on a complete UTF-8 character.
std::vector<token_group> group_tokens(whisper_context * ctx, int segment) {
    std::vector<token_group> groups;
    const int n_tokens = whisper_full_n_tokens(ctx, segment);
    for (int j = 0; j < n_tokens;) {
        const whisper_token_data first = whisper_full_get_token_data(ctx, segment, j);
        token_group group{whisper_token_to_str(ctx, first.id), first, first.t1};
        for (j++; j < n_tokens && utf8_trailing_bytes_needed(group.text) >= 1; j++) {
            const whisper_token_data next = whisper_full_get_token_data(ctx, segment, j);
            group.text += whisper_full_get_token_text(ctx, segment, j);
            if (next.t1 >= 0) {
                group.end = next.t1;
            }
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

void times_members(json_lines & json, int64_t t0, int64_t t1) {
    json.start_object("timestamps");
    json.value_string("from", to_timestamp(t0, true).c_str(), false);
    json.value_string("to", to_timestamp(t1, true).c_str(), true);
    json.end_object(false);
    json.start_object("offsets");
    json.value_int("from", t0 * 10, false);
    json.value_int("to", t1 * 10, true);
    json.end_object(false);
}

} // namespace

void output_json(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s) {
    const bool full = params.output_json_full;
    json_lines json{fout};

    json.start_object();
    json.value_string("systeminfo", whisper_print_system_info(), false);
    json.start_object("model");
    json.value_string("type", whisper_model_type_readable(ctx), false);
    json.value_bool("multilingual", whisper_is_multilingual(ctx) != 0, false);
    json.value_int("vocab", whisper_model_n_vocab(ctx), false);
    json.start_object("audio");
    json.value_int("ctx", whisper_model_n_audio_ctx(ctx), false);
    json.value_int("state", whisper_model_n_audio_state(ctx), false);
    json.value_int("head", whisper_model_n_audio_head(ctx), false);
    json.value_int("layer", whisper_model_n_audio_layer(ctx), true);
    json.end_object(false);
    json.start_object("text");
    json.value_int("ctx", whisper_model_n_text_ctx(ctx), false);
    json.value_int("state", whisper_model_n_text_state(ctx), false);
    json.value_int("head", whisper_model_n_text_head(ctx), false);
    json.value_int("layer", whisper_model_n_text_layer(ctx), true);
    json.end_object(false);
    json.value_int("mels", whisper_model_n_mels(ctx), false);
    json.value_int("ftype", whisper_model_ftype(ctx), true);
    json.end_object(false);
    json.start_object("params");
    json.value_string("model", params.model.c_str(), false);
    json.value_string("language", params.language.c_str(), false);
    json.value_bool("translate", params.translate, true);
    json.end_object(false);
    json.start_object("result");
    const char * language = whisper_lang_str(whisper_full_lang_id(ctx));
    json.value_string("language", language ? language : "", true);
    json.end_object(false);

    json.start_array("transcription");
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const int64_t t0 = whisper_full_get_segment_t0(ctx, i);
        const int64_t t1 = whisper_full_get_segment_t1(ctx, i);
        const bool more_after_text = params.diarize || params.tinydiarize || full;

        json.start_object();
        times_members(json, t0, t1);
        json.value_string("text", whisper_full_get_segment_text(ctx, i), !more_after_text);

        if (full) {
            json.start_array("tokens");
            const std::vector<token_group> groups = group_tokens(ctx, i);
            for (size_t g = 0; g < groups.size(); ++g) {
                const token_group & group = groups[g];
                json.start_object();
                json.value_string("text", group.text.c_str(), false);
                if (group.first.t0 > -1 && group.end > -1) {
                    times_members(json, group.first.t0, group.end);
                }
                json.value_int("id", group.first.id, false);
                json.value_float("p", group.first.p, false);
                json.value_float("t_dtw", (float) group.first.t_dtw, true);
                json.end_object(g + 1 == groups.size());
            }
            json.end_array(!params.diarize && !params.tinydiarize);
        }

        if (params.diarize && pcmf32s.size() == 2) {
            json.value_string("speaker", estimate_diarization_speaker(pcmf32s, t0, t1, true).c_str(), true);
        }
        if (params.tinydiarize) {
            json.value_bool("speaker_turn_next", whisper_full_get_segment_speaker_turn_next(ctx, i), true);
        }
        json.end_object(i + 1 == n_segments);
    }
    json.end_array(true);
    json.end_object(true);
}
