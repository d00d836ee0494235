// The sound archives: "sound.pak" (the effects) and "music.pak" (the looping
// tune), each sound rendered from a score in assets/sounds/ with FluidSynth
// and the General MIDI soundfont, plus synthesised tones where no
// instrument fits. Everything is rendered at 44100 Hz and filtered down to
// the mixer's own 22050 Hz, mono, 16-bit: the mixer then only has to double
// the channels, and the soundfont's bright samples do not alias.
#include "tools/studio/studio.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One MIDI channel's instrument and mixer settings.
struct ScoreChannel {
    int channel;
    int bank;
    int program;
    int volume;  // MIDI controller 7
    int reverb;  // controller 91, the send to the reverb
    int chorus;  // controller 93, the send to the chorus
    double gate; // how much of its written length a note sounds
};

struct ScoreNote {
    int channel;
    double startBeat;
    double lengthBeats;
    int key;
    int velocity;
};

// A pitch-bend ramp in semitones, sent in small steps.
struct ScoreGlide {
    int channel;
    double fromBeat;
    double toBeat;
    double fromSemitones;
    double toSemitones;
};

// A synthesised tone: a sine gliding exponentially from one pitch to another
// while it fades. Rising fast, it is a bubble shrinking as it reaches the surface.
struct ScoreTone {
    double startSeconds;
    double fromHz;
    double toHz;
    double seconds;  // until it has faded by 60 dB
    double level;    // linear amplitude before normalising
};

// A parsed score. An effect lasts lengthSeconds and fades out over its last
// fadeSeconds; a looping piece repeats every loopBeats beats.
struct Score {
    std::string path;
    double tempo;
    double lengthSeconds;
    double fadeSeconds;
    double loopBeats;
    double peakDb;
    double reverbRoom, reverbDamp, reverbWidth, reverbLevel;
    std::vector<ScoreChannel> channels;
    std::vector<ScoreNote> notes;
    std::vector<ScoreGlide> glides;
    std::vector<ScoreTone> tones;
};

// Among events at the same frame, in this order: a note ends before the same key starts again.
enum SynthEventKind { EVENT_NOTE_OFF, EVENT_BEND, EVENT_NOTE_ON };

// One MIDI event at a frame of the render.
struct SynthEvent {
    long long frame;
    SynthEventKind kind;
    int channel;
    int value;  // the key of a note, the 14-bit value of a bend
    int velocity;
};

// Which score becomes which entry of which archive.
struct SoundEntry {
    const char* archive;
    const char* entry;
    const char* score;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char* const kSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
static const int kRenderRate = 44100;
static const int kOutputRate = 22050;
// FluidSynth renders in blocks of 64 frames and starts events at block
// boundaries; a loop length that is a whole number of blocks keeps both passes
// of a loop on the same grid.
static const int kSynthBlock = 64;
static const int kBendRange = 2;  // semitones, the General MIDI default
static const double kCrossfadeSeconds = 0.5;  // the head of a loop, blended into what ends it
static const double kJointSearchSeconds = 0.03;  // how far before its downbeat a loop may start

static const SoundEntry kSounds[] = {
    {"sound.pak", "button.wav", "button.score"},
    {"sound.pak", "scena.wav", "scena.score"},
    {"sound.pak", "scena_false.wav", "scena_false.score"},
    {"sound.pak", "finish.wav", "finish.score"},
    {"sound.pak", "banka.wav", "banka.score"},
    {"music.pak", "music.wav", "music.score"},
};

// ---------------------------------------------------------------------------
// Internal helpers: reading scores
// ---------------------------------------------------------------------------

[[noreturn]] static void scoreFail(const std::string& path, int line, const std::string& message) {
    studioFail("%s:%d: %s", path.c_str(), line, message.c_str());
}

static double parseNumber(const std::string& text, const std::string& path, int line) {
    char* end = nullptr;
    double value = strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) scoreFail(path, line, "not a number: " + text);
    return value;
}

static int parseInteger(const std::string& text, int low, int high, const std::string& path, int line) {
    double value = parseNumber(text, path, line);
    if (value != std::floor(value) || value < low || value > high)
        scoreFail(path, line, text + " is not a whole number from " + std::to_string(low) + " to " +
                                  std::to_string(high));
    return (int)value;
}

// "C4" is middle C (key 60); sharps with '#', flats with 'b'; a plain number is a key as it is.
static int parsePitch(const std::string& text, const std::string& path, int line) {
    if (!text.empty() && isdigit((unsigned char)text[0])) return parseInteger(text, 0, 127, path, line);
    static const int steps[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text.empty() || text[0] < 'A' || text[0] > 'G') scoreFail(path, line, "not a pitch: " + text);
    int key = steps[text[0] - 'A'];
    size_t at = 1;
    if (at < text.size() && text[at] == '#') key++, at++;
    else if (at < text.size() && text[at] == 'b') key--, at++;
    int octave = parseInteger(text.substr(at), -1, 9, path, line);
    key += (octave + 1) * 12;
    if (key < 0 || key > 127) scoreFail(path, line, "pitch out of range: " + text);
    return key;
}

// A length in beats; a trailing 't' makes it a triplet (two thirds of it).
static double parseBeats(std::string text, const std::string& path, int line) {
    double factor = 1.0;
    if (!text.empty() && text.back() == 't') factor = 2.0 / 3.0, text.pop_back();
    double beats = parseNumber(text, path, line) * factor;
    if (beats <= 0) scoreFail(path, line, "a length must be positive: " + text);
    return beats;
}

static const ScoreChannel* findChannel(const Score& score, int channel) {
    for (const ScoreChannel& c : score.channels)
        if (c.channel == channel) return &c;
    return nullptr;
}

// Replaces every "$name" (or "$name*count") by the tokens of that definition, recursively.
static void expandTokens(const std::vector<std::string>& tokens,
                         const std::map<std::string, std::vector<std::string>>& definitions, int depth,
                         std::vector<std::string>* out, const std::string& path, int line) {
    if (depth > 8) scoreFail(path, line, "definitions nest too deeply");
    for (const std::string& token : tokens) {
        if (token[0] != '$') {
            out->push_back(token);
            continue;
        }
        std::string name = token.substr(1);
        int count = 1;
        size_t star = name.find('*');
        if (star != std::string::npos) {
            count = parseInteger(name.substr(star + 1), 1, 64, path, line);
            name = name.substr(0, star);
        }
        auto found = definitions.find(name);
        if (found == definitions.end()) scoreFail(path, line, "no definition named " + name);
        for (int i = 0; i < count; ++i) expandTokens(found->second, definitions, depth + 1, out, path, line);
    }
}

// "play CHANNEL START VELOCITY : tokens": each token is PITCH[+PITCH...]/BEATS[@VELOCITY]
// or a rest "-/BEATS"; the tokens follow one another from the start beat.
static void parsePlay(Score* score, const std::vector<std::string>& words,
                      const std::map<std::string, std::vector<std::string>>& definitions, int line) {
    const std::string& path = score->path;
    if (words.size() < 5 || words[4] != ":") scoreFail(path, line, "expected: play CHANNEL START VELOCITY : notes");
    int channel = parseInteger(words[1], 0, 15, path, line);
    if (!findChannel(*score, channel)) scoreFail(path, line, "channel " + words[1] + " has no instrument");
    double beat = parseNumber(words[2], path, line);
    int velocity = parseInteger(words[3], 1, 127, path, line);
    std::vector<std::string> tokens;
    expandTokens(std::vector<std::string>(words.begin() + 5, words.end()), definitions, 0, &tokens, path, line);
    for (const std::string& token : tokens) {
        size_t slash = token.find('/');
        if (slash == std::string::npos) scoreFail(path, line, "a note needs a length: " + token);
        std::string pitches = token.substr(0, slash), length = token.substr(slash + 1);
        int noteVelocity = velocity;
        size_t at = length.find('@');
        if (at != std::string::npos) {
            noteVelocity = parseInteger(length.substr(at + 1), 1, 127, path, line);
            length = length.substr(0, at);
        }
        double beats = parseBeats(length, path, line);
        if (pitches != "-") {
            std::stringstream chord(pitches);
            std::string pitch;
            while (std::getline(chord, pitch, '+'))
                score->notes.push_back(ScoreNote{channel, beat, beats, parsePitch(pitch, path, line), noteVelocity});
        }
        beat += beats;
    }
    if (score->loopBeats > 0 && beat > score->loopBeats + 1e-9)
        scoreFail(path, line, "the line runs past the end of the loop, to beat " + std::to_string(beat));
}

static void parseScoreLine(Score* score, const std::vector<std::string>& words,
                           std::map<std::string, std::vector<std::string>>* definitions, int line) {
    const std::string& path = score->path;
    const std::string& what = words[0];
    auto expect = [&](size_t count, const char* usage) {
        if (words.size() != count) scoreFail(path, line, std::string("expected: ") + usage);
    };
    if (what == "tempo") {
        expect(2, "tempo BEATS_PER_MINUTE");
        score->tempo = parseNumber(words[1], path, line);
        if (score->tempo <= 0) scoreFail(path, line, "the tempo must be positive");
    } else if (what == "length") {
        expect(2, "length SECONDS");
        score->lengthSeconds = parseNumber(words[1], path, line);
    } else if (what == "fade") {
        expect(2, "fade SECONDS");
        score->fadeSeconds = parseNumber(words[1], path, line);
    } else if (what == "loop") {
        expect(2, "loop BEATS");
        score->loopBeats = parseBeats(words[1], path, line);
    } else if (what == "peak") {
        expect(2, "peak DBFS");
        score->peakDb = parseNumber(words[1], path, line);
        if (score->peakDb >= 0 || score->peakDb < -30) scoreFail(path, line, "the peak must lie in -30..0 dBFS");
    } else if (what == "reverb") {
        expect(5, "reverb ROOM DAMP WIDTH LEVEL");
        score->reverbRoom = parseNumber(words[1], path, line);
        score->reverbDamp = parseNumber(words[2], path, line);
        score->reverbWidth = parseNumber(words[3], path, line);
        score->reverbLevel = parseNumber(words[4], path, line);
    } else if (what == "channel") {
        // channel N bank B program P volume V reverb R chorus C gate G
        if (words.size() < 2 || words.size() % 2 != 0) scoreFail(path, line, "expected: channel N KEY VALUE ...");
        ScoreChannel channel = {parseInteger(words[1], 0, 15, path, line), 0, 0, 100, 0, 0, 1.0};
        if (channel.channel == 9) channel.bank = 128;
        if (findChannel(*score, channel.channel)) scoreFail(path, line, "channel " + words[1] + " set up twice");
        for (size_t i = 2; i < words.size(); i += 2) {
            const std::string& key = words[i];
            const std::string& value = words[i + 1];
            if (key == "bank") channel.bank = parseInteger(value, 0, 128, path, line);
            else if (key == "program") channel.program = parseInteger(value, 0, 127, path, line);
            else if (key == "volume") channel.volume = parseInteger(value, 0, 127, path, line);
            else if (key == "reverb") channel.reverb = parseInteger(value, 0, 127, path, line);
            else if (key == "chorus") channel.chorus = parseInteger(value, 0, 127, path, line);
            else if (key == "gate") channel.gate = parseNumber(value, path, line);
            else scoreFail(path, line, "unknown channel setting " + key);
        }
        if (channel.gate <= 0 || channel.gate > 1) scoreFail(path, line, "the gate must lie in (0, 1]");
        score->channels.push_back(channel);
    } else if (what == "define") {
        if (words.size() < 3) scoreFail(path, line, "expected: define NAME notes");
        (*definitions)[words[1]] = std::vector<std::string>(words.begin() + 2, words.end());
    } else if (what == "play") {
        parsePlay(score, words, *definitions, line);
    } else if (what == "glide") {
        expect(6, "glide CHANNEL FROM_BEAT TO_BEAT FROM_SEMITONES TO_SEMITONES");
        ScoreGlide glide = {parseInteger(words[1], 0, 15, path, line), parseNumber(words[2], path, line),
                            parseNumber(words[3], path, line), parseNumber(words[4], path, line),
                            parseNumber(words[5], path, line)};
        if (glide.toBeat <= glide.fromBeat) scoreFail(path, line, "a glide must end after it starts");
        if (std::fabs(glide.fromSemitones) > kBendRange || std::fabs(glide.toSemitones) > kBendRange)
            scoreFail(path, line, "a glide stays within the bend range of two semitones");
        score->glides.push_back(glide);
    } else if (what == "tone") {
        expect(6, "tone START_SECONDS FROM_HZ TO_HZ SECONDS LEVEL");
        ScoreTone tone = {parseNumber(words[1], path, line), parseNumber(words[2], path, line),
                              parseNumber(words[3], path, line), parseNumber(words[4], path, line),
                              parseNumber(words[5], path, line)};
        if (tone.fromHz <= 0 || tone.toHz <= 0 || tone.fromHz >= 10000 || tone.toHz >= 10000 || tone.seconds <= 0)
            scoreFail(path, line, "a tone needs pitches from 0 to 10 kHz and a positive length");
        score->tones.push_back(tone);
    } else {
        scoreFail(path, line, "unknown line: " + what);
    }
}

static Score readScore(const std::string& path) {
    std::ifstream file(path);
    if (!file) studioFail("cannot read %s", path.c_str());
    Score score = Score();
    score.path = path;
    score.tempo = 120;
    score.peakDb = -3;
    score.reverbRoom = 0.4, score.reverbDamp = 0.3, score.reverbWidth = 0.8, score.reverbLevel = 0.5;
    std::map<std::string, std::vector<std::string>> definitions;
    std::string text;
    for (int line = 1; std::getline(file, text); ++line) {
        size_t hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        std::stringstream stream(text);
        std::vector<std::string> words;
        for (std::string word; stream >> word;) words.push_back(word);
        if (!words.empty()) parseScoreLine(&score, words, &definitions, line);
    }
    bool loops = score.loopBeats > 0;
    if (loops == (score.lengthSeconds > 0)) studioFail("%s: give either a loop or a length", path.c_str());
    if (!loops && (score.fadeSeconds < 0 || score.fadeSeconds > score.lengthSeconds))
        studioFail("%s: the fade must fit in the length", path.c_str());
    if (score.notes.empty() && score.tones.empty()) studioFail("%s: the score plays nothing", path.c_str());
    return score;
}

// ---------------------------------------------------------------------------
// Internal helpers: rendering
// ---------------------------------------------------------------------------

static double framesPerBeat(const Score& score) {
    return kRenderRate * 60.0 / score.tempo;
}

// The loop's length in render frames; it must be a whole number of synth blocks,
// or the passes would not fall on the same grid.
static long long loopFrames(const Score& score) {
    double frames = score.loopBeats * framesPerBeat(score);
    long long whole = std::llround(frames);
    if (std::fabs(frames - whole) > 1e-6 || whole % kSynthBlock != 0)
        studioFail("%s: %g beats at %g beats a minute is not a whole number of %d-frame blocks at %d Hz",
                   score.path.c_str(), score.loopBeats, score.tempo, kSynthBlock, kRenderRate);
    return whole;
}

static void addNoteEvents(const Score& score, long long offset, std::vector<SynthEvent>* events) {
    double perBeat = framesPerBeat(score);
    for (const ScoreNote& note : score.notes) {
        double gate = findChannel(score, note.channel)->gate;
        long long on = offset + std::llround(note.startBeat * perBeat);
        long long off = offset + std::llround((note.startBeat + note.lengthBeats * gate) * perBeat);
        events->push_back(SynthEvent{off, EVENT_NOTE_OFF, note.channel, note.key, 0});
        events->push_back(SynthEvent{on, EVENT_NOTE_ON, note.channel, note.key, note.velocity});
    }
    // Bends every 5 ms make a glide sound continuous.
    const double step = kRenderRate * 0.005;
    for (const ScoreGlide& glide : score.glides) {
        double from = glide.fromBeat * perBeat, to = glide.toBeat * perBeat;
        int count = std::max(1, (int)std::ceil((to - from) / step));
        for (int i = 0; i <= count; ++i) {
            double t = (double)i / count;
            double semitones = glide.fromSemitones + (glide.toSemitones - glide.fromSemitones) * t;
            int value = (int)std::lround(8192 + semitones / kBendRange * 8192);
            value = std::min(16383, std::max(0, value));
            long long frame = offset + std::llround(from + (to - from) * t);
            events->push_back(SynthEvent{frame, EVENT_BEND, glide.channel, value, 0});
        }
    }
}

static void sendEvent(fluid_synth_t* synth, const SynthEvent& event) {
    switch (event.kind) {
    case EVENT_NOTE_OFF: fluid_synth_noteoff(synth, event.channel, event.value); break;
    case EVENT_BEND: fluid_synth_pitch_bend(synth, event.channel, event.value); break;
    case EVENT_NOTE_ON: fluid_synth_noteon(synth, event.channel, event.value, event.velocity); break;
    }
}

// Renders the notes at 44100 Hz into one mono signal of the given number of frames.
static std::vector<double> renderSynth(const Score& score, std::vector<SynthEvent> events, long long frames) {
    std::vector<double> mono((size_t)frames, 0.0);
    if (score.notes.empty()) return mono;

    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", kRenderRate);
    fluid_settings_setint(settings, "synth.cpu-cores", 1);
    fluid_settings_setint(settings, "synth.polyphony", 256);
    fluid_settings_setnum(settings, "synth.gain", 0.5);
    fluid_settings_setint(settings, "synth.reverb.active", 1);
    fluid_settings_setnum(settings, "synth.reverb.room-size", score.reverbRoom);
    fluid_settings_setnum(settings, "synth.reverb.damp", score.reverbDamp);
    fluid_settings_setnum(settings, "synth.reverb.width", score.reverbWidth);
    fluid_settings_setnum(settings, "synth.reverb.level", score.reverbLevel);
    bool chorus = false;
    for (const ScoreChannel& c : score.channels) chorus = chorus || c.chorus > 0;
    fluid_settings_setint(settings, "synth.chorus.active", chorus ? 1 : 0);
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth) studioFail("FluidSynth could not start");
    int font = fluid_synth_sfload(synth, kSoundFont, 1);
    if (font == FLUID_FAILED) studioFail("cannot load the soundfont %s (Debian package fluid-soundfont-gm)", kSoundFont);
    for (const ScoreChannel& c : score.channels) {
        if (fluid_synth_program_select(synth, c.channel, font, c.bank, c.program) != FLUID_OK)
            studioFail("%s: the soundfont has no bank %d program %d", score.path.c_str(), c.bank, c.program);
        fluid_synth_cc(synth, c.channel, 7, c.volume);
        fluid_synth_cc(synth, c.channel, 91, c.reverb);
        fluid_synth_cc(synth, c.channel, 93, c.chorus);
        fluid_synth_pitch_wheel_sens(synth, c.channel, kBendRange);
    }

    std::stable_sort(events.begin(), events.end(), [](const SynthEvent& a, const SynthEvent& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.kind < b.kind;
    });
    // Renders through fixed-size float buffers; the synth's own 16-bit output is
    // not used because it adds random dither.
    std::vector<float> left(4096), right(4096);
    long long done = 0;
    size_t next = 0;
    while (done < frames) {
        while (next < events.size() && events[next].frame <= done) sendEvent(synth, events[next++]);
        long long until = next < events.size() ? std::min(frames, events[next].frame) : frames;
        int count = (int)std::min<long long>(until - done, (long long)left.size());
        if (fluid_synth_write_float(synth, count, left.data(), 0, 1, right.data(), 0, 1) != FLUID_OK)
            studioFail("FluidSynth could not render %s", score.path.c_str());
        for (int i = 0; i < count; ++i) mono[(size_t)(done + i)] = 0.5 * ((double)left[i] + right[i]);
        done += count;
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return mono;
}

static void addTones(const Score& score, long long offset, std::vector<double>* signal) {
    const double twoPi = 2.0 * M_PI;
    const double attack = 0.003;  // seconds: soft enough not to click
    for (const ScoreTone& tone : score.tones) {
        long long start = offset + std::llround(tone.startSeconds * kRenderRate);
        long long length = std::llround(tone.seconds * kRenderRate);
        double phase = 0.0;
        for (long long i = 0; i < length && start + i < (long long)signal->size(); ++i) {
            double t = (double)i / kRenderRate;
            double hz = tone.fromHz * std::pow(tone.toHz / tone.fromHz, t / tone.seconds);
            double envelope = std::exp(-6.9 * t / tone.seconds);
            if (t < attack) envelope *= 0.5 - 0.5 * std::cos(M_PI * t / attack);
            if (start + i >= 0) (*signal)[(size_t)(start + i)] += tone.level * envelope * std::sin(phase);
            phase = std::fmod(phase + twoPi * hz / kRenderRate, twoPi);
        }
    }
}

// Halves the rate with a windowed-sinc low-pass (cut-off 10 kHz), centred so
// that nothing is delayed; output frame k is input frame 2k.
static std::vector<double> halveRate(const std::vector<double>& input) {
    const int half = 48;
    const double cutoff = 10000.0 / kRenderRate;
    std::vector<double> taps(2 * half + 1);
    double sum = 0.0;
    for (int j = -half; j <= half; ++j) {
        double x = 2.0 * M_PI * cutoff * j;
        double sinc = j == 0 ? 1.0 : std::sin(x) / x;
        double w = 0.42 + 0.5 * std::cos(M_PI * j / half) + 0.08 * std::cos(2.0 * M_PI * j / half);
        taps[j + half] = 2.0 * cutoff * sinc * w;
        sum += taps[j + half];
    }
    for (double& t : taps) t /= sum;
    std::vector<double> output(input.size() / 2);
    for (size_t k = 0; k < output.size(); ++k) {
        double acc = 0.0;
        long long centre = 2 * (long long)k;
        for (int j = -half; j <= half; ++j) {
            long long i = centre + j;
            if (i >= 0 && i < (long long)input.size()) acc += taps[j + half] * input[(size_t)i];
        }
        output[k] = acc;
    }
    return output;
}

// A one-pole high-pass at about 10 Hz: removes any offset from the soundfont's
// samples while leaving a silent start silent.
static void blockOffset(std::vector<double>* signal) {
    const double r = 1.0 - 2.0 * M_PI * 10.0 / kOutputRate;
    double previousIn = 0.0, previousOut = 0.0;
    for (double& x : *signal) {
        double y = x - previousIn + r * previousOut;
        previousIn = x;
        previousOut = y;
        x = y;
    }
}

static void fadeOut(std::vector<double>* signal, double seconds) {
    size_t count = std::min(signal->size(), (size_t)std::llround(seconds * kOutputRate));
    size_t first = signal->size() - count;
    for (size_t i = 0; i < count; ++i) {
        double t = (double)(i + 1) / count;
        (*signal)[first + i] *= 0.5 + 0.5 * std::cos(M_PI * t);
    }
}

static std::vector<int16_t> normalise(const std::vector<double>& signal, double peakDb, const std::string& path) {
    double peak = 0.0;
    for (double x : signal) peak = std::max(peak, std::fabs(x));
    if (peak <= 0.0) studioFail("%s renders silence", path.c_str());
    double scale = std::pow(10.0, peakDb / 20.0) * 32767.0 / peak;
    std::vector<int16_t> samples(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) samples[i] = (int16_t)std::lround(signal[i] * scale);
    return samples;
}

// An effect: rendered for its length, offset removed, faded out at its end.
static std::vector<double> renderEffect(const Score& score) {
    long long frames = 2 * std::llround(score.lengthSeconds * kOutputRate);
    std::vector<SynthEvent> events;
    addNoteEvents(score, 0, &events);
    std::vector<double> signal = renderSynth(score, events, frames);
    addTones(score, 0, &signal);
    std::vector<double> output = halveRate(signal);
    blockOffset(&output);
    fadeOut(&output, score.fadeSeconds);
    return output;
}

// A loop: the score rendered three times over and the middle pass kept, so
// that the tails of the notes ringing over the loop's end sound at its start.
// FluidSynth's reverb modulates its delays freely, so one pass never repeats
// the previous one exactly: the pass's head is crossfaded from what really
// followed its end (the start of the third pass) into itself, which makes the
// joint exactly as smooth as the render.
static std::vector<double> renderLoop(const Score& score) {
    long long loop = loopFrames(score);
    std::vector<SynthEvent> events;
    for (int pass = 0; pass < 3; ++pass) addNoteEvents(score, pass * loop, &events);
    std::vector<double> signal = renderSynth(score, events, 3 * loop);
    for (int pass = 0; pass < 3; ++pass) addTones(score, pass * loop, &signal);
    std::vector<double> output = halveRate(signal);
    long long length = loop / 2;
    std::vector<double> middle(output.begin() + length, output.begin() + 2 * length);
    long long crossfade = std::min(length, (long long)(kCrossfadeSeconds * kOutputRate));
    for (long long i = 0; i < crossfade; ++i) {
        double w = 0.5 - 0.5 * std::cos(M_PI * (double)i / crossfade);
        middle[(size_t)i] = (1.0 - w) * output[(size_t)(2 * length + i)] + w * middle[(size_t)i];
    }
    // The offset goes by subtracting the mean: unlike a filter, that changes nothing at the joint.
    double mean = 0.0;
    for (double x : middle) mean += x;
    mean /= (double)middle.size();
    for (double& x : middle) x -= mean;
    // The mixer restarts a loop only at its next buffer, after up to 23 ms of
    // silence: the file starts at the gentlest zero crossing just before the
    // downbeat, so the music stops and resumes there at zero.
    long long window = std::min(length - 1, (long long)(kJointSearchSeconds * kOutputRate));
    long long start = 0;
    double gentlest = HUGE_VAL;
    for (long long i = length - window; i < length; ++i) {
        double before = middle[(size_t)(i - 1)], after = middle[(size_t)i];
        if ((before < 0) != (after < 0) && std::fabs(after - before) < gentlest) {
            gentlest = std::fabs(after - before);
            start = i;
        }
    }
    std::rotate(middle.begin(), middle.begin() + start, middle.end());
    return middle;
}

static void putLittleEndian(std::vector<uint8_t>* bytes, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes->push_back((uint8_t)(value >> (8 * i)));
}

// A mono 16-bit PCM WAV file at the output rate.
static std::vector<uint8_t> wavBytes(const std::vector<int16_t>& samples) {
    uint32_t dataSize = (uint32_t)(samples.size() * 2);
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + dataSize);
    const char* riff = "RIFF";
    bytes.insert(bytes.end(), riff, riff + 4);
    putLittleEndian(&bytes, 36 + dataSize, 4);
    const char* format = "WAVEfmt ";
    bytes.insert(bytes.end(), format, format + 8);
    putLittleEndian(&bytes, 16, 4);              // format chunk size
    putLittleEndian(&bytes, 1, 2);               // PCM
    putLittleEndian(&bytes, 1, 2);               // channels
    putLittleEndian(&bytes, kOutputRate, 4);     // frames per second
    putLittleEndian(&bytes, kOutputRate * 2, 4); // bytes per second
    putLittleEndian(&bytes, 2, 2);               // bytes per frame
    putLittleEndian(&bytes, 16, 2);              // bits per sample
    const char* data = "data";
    bytes.insert(bytes.end(), data, data + 4);
    putLittleEndian(&bytes, dataSize, 4);
    for (int16_t s : samples) putLittleEndian(&bytes, (uint16_t)s, 2);
    return bytes;
}

static void quietFluidSynth() {
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

static void buildSounds(const std::string& outDir) {
    quietFluidSynth();
    const std::string folder = std::string(TINTARIA_STUDIO_SOURCES) + "/assets/sounds/";
    PakArchive archive;
    const char* current = kSounds[0].archive;
    for (const SoundEntry& sound : kSounds) {
        if (strcmp(sound.archive, current) != 0) {
            studioWrite(&archive, outDir, current);
            current = sound.archive;
        }
        Score score = readScore(folder + sound.score);
        std::vector<double> signal = score.loopBeats > 0 ? renderLoop(score) : renderEffect(score);
        studioAdd(&archive, sound.entry, wavBytes(normalise(signal, score.peakDb, score.path)));
    }
    studioWrite(&archive, outDir, current);
}

STUDIO_BUILDER("sounds", buildSounds);
