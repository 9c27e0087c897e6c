#include "decoder_plan.h"

#include "whisper.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Decoding rules of the engine that the layout depends on.
constexpr int k_text_ctx = 448;          // decoder positions
constexpr int k_max_past = 223;          // previous-text tokens put into a window's prompt
constexpr int k_max_window_tokens = 200; // a window decodes at most 220 tokens; keep clear of it
constexpr int64_t k_window = 3000;       // one window: 30 s in 10 ms units
constexpr int k_max_initial_step = 50;   // first timestamp of a window is at most 1.00 s
constexpr double k_entropy_thold = 2.4;  // a decode whose last 32 tokens are this repetitive fails
constexpr int k_entropy_span = 32;

// Weights. The wanted token wins by a log-probability margin of well over 20, so its
// probability is exactly 1 in single precision, also for the weakest of three wishes.
constexpr float k_token_scale = 1.0f;
constexpr float k_final_gain = 24.0f;
constexpr float k_levels[] = {16.0f, 8.0f, 4.0f};
constexpr double k_min_margin = 20.0;
// The encoder-dependent word: its replacement sits at 12 where the first word is wanted
// at 16, and the encoder feature at 1 takes 8 off the first word (8 against 12).
constexpr float k_encoder_word_standby = 12.0f;
constexpr float k_encoder_word_weight = 8.0f;

enum class run_mode { timestamps, no_timestamps };

const char * mode_name(run_mode m) {
    return m == run_mode::timestamps ? "with timestamps" : "without timestamps (-nt)";
}

bool is_language(int token, const engine_token_ids & ids) {
    return token >= ids.lang0 && token < ids.solm - 2;
}

// One token the engine must emit, and what the engine has masked when it samples it.
struct wish {
    int token;
    int input;          // token fed at this position, -1 for a prompt token (zero embedding)
    bool mask_blank;    // first token of a window: end-of-text and " " suppressed
    bool mask_ts;       // all timestamps suppressed
    bool mask_text;     // all tokens below end-of-text suppressed
    run_mode mode;
    int window;
    bool detect;        // language detection: only the language tokens compete
};

struct window_tokens {
    std::vector<int> tokens;  // what the engine must emit, ending with end-of-text
    int result_len;           // tokens the engine keeps (and feeds to the next window's prompt)
    bool filler;              // window with nothing to transcribe
};

bool fail(std::string & error, std::string message) {
    error = std::move(message);
    return false;
}

bool is_masked(const wish & w, int token, const engine_token_ids & ids) {
    if (w.detect) return !is_language(token, ids);
    // start-of-transcript, languages, task, previous-text, no-speech and no-timestamps
    // tokens are always suppressed while decoding
    if (token > ids.eot && token < ids.beg && token != ids.solm) return true;
    if (w.mask_blank && (token == ids.eot || token == 0)) return true;  // id 0 is " "
    if (w.mask_ts && token >= ids.beg) return true;
    if (w.mask_text && token < ids.eot) return true;
    return false;
}

// How a token is named in messages: its text, or the engine's special-token name.
std::string token_label(int token, const decoder_plan & plan) {
    const auto & ids = plan.ids;
    char buf[32];
    if (token >= ids.beg) {
        snprintf(buf, sizeof buf, "<|%.2f|>", (token - ids.beg) * 0.02);
        return buf;
    }
    if (token == ids.eot) return "<|endoftext|>";
    if (token == ids.solm) return "<|speaker turn|>";
    if (is_language(token, ids)) return std::string("<|") + whisper_lang_str(token - ids.lang0) + "|>";
    if (token >= 0 && token < int(plan.vocab.size())) return "\"" + plan.vocab[token] + "\"";
    return "token " + std::to_string(token);
}

std::string time_text(int64_t t) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.2f s", double(t) / 100.0);
    return buf;
}

// Probability margin (log) of the wished token over everything else the engine lets
// through, computed the way the engine computes logits: final layer norm, then the
// tied embedding. Tokens without a direction all have logit 0 and are counted, not
// visited.
double wish_margin(const decoder_plan & plan, const std::vector<int> & directed,
                   const std::vector<position_term> & terms, const wish & w) {
    const auto & ids = plan.ids;
    if (is_masked(w, w.token, ids)) return -INFINITY;

    std::vector<double> x(plan.n_state, 0.0);
    for (const auto & t : terms) x[t.direction] += t.weight;
    if (w.input >= 0 && plan.direction_of_token[w.input] >= 0) {
        x[plan.direction_of_token[w.input]] += plan.token_scale;
    }
    double mean = 0;
    for (double v : x) mean += v;
    mean /= plan.n_state;
    double var = 0;
    for (double v : x) var += (v - mean) * (v - mean);
    var /= plan.n_state;
    const double inv = 1.0 / std::sqrt(var + 1e-5);
    auto logit_of = [&](int token) {
        return plan.token_scale * plan.final_gain * (x[plan.direction_of_token[token]] - mean) * inv;
    };

    if (w.detect) {
        // the only directed language token against the others, all at logit 0
        const int n_languages = ids.solm - 2 - ids.lang0;
        return logit_of(w.token) - std::log(double(n_languages - 1));
    }

    // Unmasked tokens without a direction: below end-of-text, the speaker-turn token
    // (let through when speaker turns are on), and the timestamps.
    double zero_text = ids.eot, zero_ts = ids.n_vocab - ids.beg;
    bool blank_directed = false;
    for (int t : directed) {
        if (t < ids.eot) zero_text--;
        if (t >= ids.beg) zero_ts--;
        if (t == 0) blank_directed = true;
    }
    if (w.mask_text) zero_text = 0;
    if (w.mask_blank && !blank_directed && zero_text > 0) zero_text--;
    if (w.mask_ts) zero_ts = 0;
    const bool solm_directed = plan.direction_of_token[ids.solm] >= 0;
    const double zero_other = zero_text + (solm_directed ? 0 : 1);

    // The engine samples a timestamp whenever the timestamps together outweigh the
    // best other token; then everything below the first timestamp is masked.
    double ts_max = zero_ts > 0 ? 0.0 : -INFINITY;
    double text_max = zero_other > 0 ? 0.0 : -INFINITY;
    for (int t : directed) {
        if (is_masked(w, t, ids)) continue;
        if (t >= ids.beg) ts_max = std::max(ts_max, logit_of(t)); else text_max = std::max(text_max, logit_of(t));
    }
    bool text_dropped = false;
    if (ts_max > -INFINITY) {
        double ts_sum = zero_ts * std::exp(-ts_max);
        for (int t : directed) {
            if (t >= ids.beg && !is_masked(w, t, ids)) ts_sum += std::exp(logit_of(t) - ts_max);
        }
        text_dropped = std::log(ts_sum) + ts_max > text_max;
    }
    if (text_dropped && w.token < ids.beg) return -INFINITY;

    const double wanted = logit_of(w.token);
    double others = zero_ts * std::exp(-wanted) + (text_dropped ? 0.0 : zero_other * std::exp(-wanted));
    for (int t : directed) {
        if (t == w.token || is_masked(w, t, ids)) continue;
        if (text_dropped && t < ids.beg) continue;
        others += std::exp(logit_of(t) - wanted);
    }
    return others == 0 ? INFINITY : -std::log(others);
}

double tail_entropy(const std::vector<int> & tokens, int result_len) {
    std::map<int, int> counts;
    const int from = std::max(0, result_len - k_entropy_span);
    for (int i = from; i < result_len; ++i) counts[tokens[i]]++;
    double entropy = 0;
    for (const auto & kv : counts) {
        const double p = kv.second / double(result_len - from);
        entropy -= p * std::log(p);
    }
    return entropy;
}

} // namespace

engine_token_ids engine_token_ids_for(bool multilingual) {
    // The English-only layout; a multilingual vocabulary moves end-of-text and
    // start-of-transcript up by one and the tokens after the languages by one more.
    engine_token_ids ids{51864, 50256, 50257, 50359, 50362, 50363, 50258};
    if (multilingual) {
        ids = {51865, 50257, 50258, 50360, 50363, 50364, 50259};
    }
    return ids;
}

bool plan_decoder(const test_script & script, decoder_plan & plan, std::string & error) {
    plan = decoder_plan{};
    plan.ids = engine_token_ids_for(script.multilingual);
    const auto & ids = plan.ids;
    plan.n_state = script.dims.n_state;
    plan.n_text_ctx = k_text_ctx;
    plan.token_scale = k_token_scale;
    plan.final_gain = k_final_gain;

    // Vocabulary: " " (the engine looks it up) and "" (emitted by windows with nothing
    // to say) first, then the script's tokens in order of first use.
    plan.vocab = {" ", ""};
    std::map<std::string, int> id_of{{" ", 0}, {"", 1}};
    const int empty_token = 1;
    for (const auto & seg : script.segments) {
        for (const auto & bytes : seg.tokens) {
            if (!id_of.count(bytes)) {
                id_of[bytes] = int(plan.vocab.size());
                plan.vocab.push_back(bytes);
            }
        }
    }
    if (script.encoder_word.enabled && !id_of.count(script.encoder_word.token)) {
        id_of[script.encoder_word.token] = int(plan.vocab.size());
        plan.vocab.push_back(script.encoder_word.token);
    }
    if (int(plan.vocab.size()) > ids.eot) return fail(error, "script: too many distinct tokens");

    // Group the segments into the engine's 30 s windows.
    int n_windows = 0;
    for (const auto & seg : script.segments) n_windows = std::max<int>(n_windows, int(seg.t0 / k_window) + 1);
    std::vector<std::vector<const script_segment *>> by_window(n_windows);
    for (size_t i = 0; i < script.segments.size(); ++i) {
        const auto & seg = script.segments[i];
        const int w = int(seg.t0 / k_window);
        const std::string where = "segments[" + std::to_string(i) + "]";
        if (seg.t1 > (w + 1) * k_window) {
            return fail(error, where + ": crosses the 30 s window boundary at " + time_text((w + 1) * k_window));
        }
        if (seg.t1 == w * k_window) {
            return fail(error, where + ": must end after the start of its window");
        }
        if (by_window[w].empty() && seg.t0 - w * k_window > 2 * k_max_initial_step) {
            return fail(error, where + ": the first segment of a window must start within 1.00 s of the window ("
                               + time_text(w * k_window) + "), the engine caps the first timestamp");
        }
        by_window[w].push_back(&seg);
    }

    auto ts_token = [&](int64_t t_rel) { return ids.beg + int(t_rel / 2); };

    auto scripted_window = [&](int w, run_mode mode) {
        window_tokens out{{}, 0, false};
        const int64_t base = int64_t(w) * k_window;
        for (const auto * seg : by_window[w]) {
            if (mode == run_mode::timestamps) out.tokens.push_back(ts_token(seg->t0 - base));
            for (const auto & bytes : seg->tokens) out.tokens.push_back(id_of.at(bytes));
            if (seg->speaker_turn) out.tokens.push_back(ids.solm);
            if (mode == run_mode::timestamps) out.tokens.push_back(ts_token(seg->t1 - base));
        }
        // Serving both kinds of run: a no-timestamp window ends with "" where the
        // timestamp one has its closing timestamp, so the next windows' texts line up
        // (the no-timestamp prompt is one token longer, the timestamp window one
        // opening timestamp longer). The last scripted window needs no such step.
        const bool both = script.with_timestamps && script.without_timestamps;
        if (both && mode == run_mode::no_timestamps && w + 1 < n_windows) out.tokens.push_back(empty_token);
        out.tokens.push_back(ids.eot);
        // With timestamps the engine keeps up to the last timestamp, without it keeps all.
        out.result_len = int(out.tokens.size()) - (mode == run_mode::timestamps ? 1 : 0);
        return out;
    };
    // A window with nothing to say emits "" (no segment comes of it); both forms keep
    // n_empty + 2 tokens. Once the previous-text prompt is full every window starts at
    // the same position; the filler before that is stretched so the prompt fills up
    // exactly at a window boundary and windows never overlap halfway.
    auto filler_window = [&](run_mode mode, int past, int extra) {
        int n_empty = 1;
        const int room = k_max_past - past;
        if (room >= 3 && room <= 5) n_empty = room - 2;
        n_empty += extra;
        window_tokens out{{}, n_empty + 2, true};
        if (mode == run_mode::timestamps) out.tokens.push_back(ids.beg);
        for (int i = 0; i < n_empty; ++i) out.tokens.push_back(empty_token);
        if (mode == run_mode::timestamps) out.tokens.push_back(ids.beg + 1500);
        else out.tokens.push_back(empty_token);
        out.tokens.push_back(ids.eot);
        return out;
    };

    std::vector<std::vector<wish>> wishes(k_text_ctx);
    std::vector<run_mode> modes;
    if (script.with_timestamps) modes.push_back(run_mode::timestamps);
    if (script.without_timestamps) modes.push_back(run_mode::no_timestamps);

    // When one model serves both kinds of run, the no-timestamp fillers run one
    // position behind the timestamp ones (as they do once both prompts are full): its
    // first filler takes up the tokens the timestamps took in the scripted windows.
    int past_ts_after_script = -1;
    for (run_mode mode : modes) {
        const int prompt_len = (script.multilingual ? 3 : 1) + (mode == run_mode::no_timestamps ? 1 : 0);
        int past = 0;
        int prev_start = -1;
        bool prev_filler = false;
        for (int w = 0; w < 1000; ++w) {
            const bool scripted = w < n_windows && !by_window[w].empty();
            if (w == n_windows && mode == run_mode::timestamps) past_ts_after_script = past;
            int extra = 0;
            if (w == n_windows && mode == run_mode::no_timestamps && past_ts_after_script >= 0) {
                extra = past_ts_after_script - past;
            }
            const window_tokens win = scripted ? scripted_window(w, mode) : filler_window(mode, past, extra);
            // Later windows are prompted with "previous text" + the kept tokens so far.
            const int start = prompt_len - 1 + (past > 0 ? 1 + std::min(past, k_max_past) : 0);
            if (win.filler && prev_filler && start == prev_start && w >= n_windows) break;  // steady from here on

            if (scripted) {
                if (int(win.tokens.size()) > k_max_window_tokens) {
                    return fail(error, "window " + std::to_string(w) + " needs " + std::to_string(win.tokens.size()) +
                                       " tokens, at most " + std::to_string(k_max_window_tokens) + " fit one window");
                }
                if (win.result_len > k_entropy_span) {
                    const double h = tail_entropy(win.tokens, win.result_len);
                    if (h < k_entropy_thold) {
                        char buf[64];
                        snprintf(buf, sizeof buf, "%.3f", h);
                        return fail(error, "window " + std::to_string(w) + " " + mode_name(mode) +
                                           ": its last 32 tokens repeat too much (entropy " + buf +
                                           " < 2.4), the engine would reject the decode");
                    }
                }
            }
            if (start + int(win.tokens.size()) > k_text_ctx) {
                return fail(error, "script too long: window " + std::to_string(w) + " " + mode_name(mode) +
                                   " would run past the decoder's " + std::to_string(k_text_ctx) + " positions");
            }
            for (size_t j = 0; j < win.tokens.size(); ++j) {
                wish x{};
                x.token = win.tokens[j];
                x.input = j == 0 ? -1 : win.tokens[j - 1];
                x.mask_blank = j == 0;
                x.mode = mode;
                x.window = w;
                if (mode == run_mode::no_timestamps) {
                    x.mask_ts = true;
                } else if (j >= 1 && win.tokens[j - 1] >= ids.beg) {
                    // timestamps come in pairs, except directly before end-of-text
                    const bool penultimate_ts = j < 2 || win.tokens[j - 2] >= ids.beg;
                    if (penultimate_ts) x.mask_ts = true; else x.mask_text = true;
                }
                wishes[start + j].push_back(x);
            }
            past += win.result_len;
            prev_start = start;
            prev_filler = win.filler;
        }
    }

    // Language detection decodes start-of-transcript alone at position 0 and compares
    // the language tokens' logits there; every decode masks those tokens.
    {
        // the engine's own language table, searched quietly (its lookup logs misses)
        int lang_id = -1;
        for (int i = 0; i <= whisper_lang_max_id(); ++i) {
            if (script.language == whisper_lang_str(i)) lang_id = i;
        }
        if (lang_id < 0 || !is_language(ids.lang0 + lang_id, ids)) {
            return fail(error, "language: unknown language code \"" + script.language + "\"");
        }
        wish x{};
        x.token = ids.lang0 + lang_id;
        x.input = -1;
        x.detect = true;
        wishes[0].push_back(x);
    }

    // Directions, in order of first use.
    plan.direction_of_token.assign(ids.n_vocab, -1);
    auto give_direction = [&](int token) {
        if (plan.direction_of_token[token] < 0) plan.direction_of_token[token] = plan.n_directions++;
    };
    for (const auto & at : wishes) {
        for (const auto & x : at) give_direction(x.token);
    }
    int word_from = -1, word_to = -1;  // token ids of the encoder-dependent word
    if (script.encoder_word.enabled) {
        word_from = id_of.at(script.segments.front().tokens.front());
        word_to = id_of.at(script.encoder_word.token);
        give_direction(word_to);
    }
    if (plan.n_directions > plan.n_state) {
        return fail(error, "script needs " + std::to_string(plan.n_directions) +
                           " distinct tokens (text, timestamps, end-of-text, speaker turn, language), dims \"" +
                           script.dims.name + "\" has room for " + std::to_string(plan.n_state));
    }

    // Settle each position: the strongest wish must be masked in the context of every
    // other one, and so on down.
    plan.positions.assign(k_text_ctx, {});
    for (int p = 0; p < k_text_ctx; ++p) {
        std::vector<int> remaining;
        for (const auto & x : wishes[p]) {
            if (std::find(remaining.begin(), remaining.end(), x.token) == remaining.end()) remaining.push_back(x.token);
        }
        int level = 0;
        while (!remaining.empty()) {
            auto beats_all = [&](int token) {
                for (const auto & x : wishes[p]) {
                    if (x.token == token) continue;
                    if (std::find(remaining.begin(), remaining.end(), x.token) == remaining.end()) continue;
                    if (!is_masked(x, token, ids)) return false;
                }
                return true;
            };
            auto it = std::find_if(remaining.begin(), remaining.end(), beats_all);
            if (it == remaining.end() || level == int(std::size(k_levels))) {
                std::string who;
                bool both_modes = false;
                for (const auto & x : wishes[p]) {
                    if (!who.empty()) who += "; ";
                    who += x.detect ? std::string("language detection") : "window " + std::to_string(x.window) + " " + mode_name(x.mode);
                    who += " wants " + token_label(x.token, plan);
                    both_modes = both_modes || x.mode != wishes[p].front().mode;
                }
                return fail(error, "the decodes this script asks for collide at decoder position " + std::to_string(p) +
                                   " (" + who + "): " +
                                   (both_modes ? "a model for runs with and without timestamps needs one segment per window"
                                               : "shorten the script"));
            }
            plan.positions[p].push_back({plan.direction_of_token[*it], k_levels[level++]});
            remaining.erase(it);
        }
    }

    if (word_from >= 0) {
        plan.encoder_word_from = plan.direction_of_token[word_from];
        plan.encoder_word_to = plan.direction_of_token[word_to];
        plan.encoder_word_weight = k_encoder_word_weight;
        for (int p = 0; p < k_text_ctx; ++p) {
            const bool wanted = std::any_of(wishes[p].begin(), wishes[p].end(),
                                            [&](const wish & x) { return x.token == word_from; });
            if (wanted) plan.positions[p].push_back({plan.encoder_word_to, k_encoder_word_standby});
        }
    }

    std::vector<int> directed;
    for (int t = 0; t < ids.n_vocab; ++t) {
        if (plan.direction_of_token[t] >= 0) directed.push_back(t);
    }
    for (int p = 0; p < k_text_ctx; ++p) {
        for (const auto & x : wishes[p]) {
            const double margin = wish_margin(plan, directed, plan.positions[p], x);
            if (!(margin >= k_min_margin)) {
                if (word_from >= 0) {
                    return fail(error, "encoder_word: " + token_label(x.token, plan) + " at decoder position " +
                                       std::to_string(p) + " would not be certain beside the replacement (margin " +
                                       std::to_string(margin) + "); the word needs a script whose decodes agree there");
                }
                return fail(error, "internal: " + token_label(x.token, plan) + " at decoder position " +
                                   std::to_string(p) + " would not be certain (margin " + std::to_string(margin) + ")");
            }
        }
    }

    // With the encoder feature at 1, every decode sees the replacement wherever it saw
    // the first word, and every position carries the cross-attention's shift.
    if (word_from >= 0) {
        for (int p = 0; p < k_text_ctx; ++p) {
            if (wishes[p].empty()) continue;
            auto terms = plan.positions[p];
            terms.push_back({plan.encoder_word_from, -k_encoder_word_weight});
            for (auto x : wishes[p]) {
                if (x.token == word_from) x.token = word_to;
                if (x.input == word_from) x.input = word_to;
                const double margin = wish_margin(plan, directed, terms, x);
                if (!(margin >= k_min_margin)) {
                    return fail(error, "encoder_word: with the encoder feature on, " + token_label(x.token, plan) +
                                       " at decoder position " + std::to_string(p) + " would not be certain (margin " +
                                       std::to_string(margin) + "); the word needs a script whose decodes agree there");
                }
            }
        }
    }
    return true;
}
