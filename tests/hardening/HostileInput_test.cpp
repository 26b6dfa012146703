// Hostile parameter texts, blend weights, samples, colours and coordinates
// through vesk.dll's exports, as a renderer might hand them over. After every
// call the procedure must still answer 1 and leave the renderer's colour
// finite or untouched, and no call may raise a floating-point trap that a
// renderer may run with unmasked.
#include <windows.h>
#include <xmmintrin.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/ParameterProbe.h"

namespace {

// Numbers and non-numbers a text may carry where a field is expected.
const char* const HostileTokens[] = {
    "nan", "NAN", "-nan", "inf", "-inf", "infinity", "-0", "-0.00", "+0", "0", "1e39", "-1e39", "3.4028236e38",
    "3.4028235e38", "-3.4028235e38", "340282366920938463463374607431768211456", "1e-39", "1e-45", "7e-46",
    "1.4e-45", "-1e-50", "1e-400", "1e400", "1e99999999999999999999", "1e-99999999999999999999", "0e999999",
    "1e", "1e+", "1e-", "e5", ".", "-", "+", "+.", ".e1", "0x1p3", "0x10", "1,5", "1..2", "--1", "+-1", "#",
    "1.00", "0.50", "255.00", "-255.99", "1e30", "-1e30", "0.2", "1e-30", "\t", "\n", "\v\f\r", "\xff\xfe",
    "9999999999999999999999999999999999999999.99", "0.000000000000000000000000000000000000000000001"};

const float Weights[] = {0.0f, 1.0f, -1.0f, 1e30f, -1e30f, NAN, 0.5f, -0.0f, 1e-45f, FLT_MAX, -FLT_MAX,
                         INFINITY, -INFINITY, 2.0f, 0.25f};

const float FiniteSamples[] = {0.0f, 0.2f, 0.55f, 0.9f, -0.3f, 1e30f, -1e30f, 3e38f, 1e-40f, 1.0f};
const float NonFinite[] = {NAN, INFINITY, -INFINITY};
// Beside a non-finite value: zeros above all, whose products with it raise "invalid".
const float Partners[] = {0.0f, -0.0f, 0.0f, 0.5f, -0.3f, 1e30f, 1e-40f};

class HostileTexts {
  public:
    explicit HostileTexts(uint32_t seed) : random_(seed) {}

    std::string Next() {
        switch (Pick(6)) {
            case 0: return RandomBytes(Pick(96));
            case 1: return RandomFrom("0123456789.eE+- #\t\n,naifx", Pick(96));
            case 2: return Fields(HostileTokens, std::size(HostileTokens));
            case 3: return FiniteFields();
            case 4: return Mutated(FiniteFields());
            default: {  // short, or fields with the mark dropped
                std::string s = Fields(HostileTokens, std::size(HostileTokens));
                return Pick(2) || s.empty() ? RandomBytes(Pick(8)) : s.substr(1);
            }
        }
    }

    // A record of finite values, written exactly: a sane starting point.
    ShaderParameters FiniteRecord() {
        ShaderParameters r;
        for (int i = 0; i < ParameterCount; ++i) ParameterField(r, i) = RandomFinite();
        return r;
    }

    uint32_t Pick(uint32_t n) { return n ? random_() % n : 0; }

  private:
    std::string RandomBytes(size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += char(1 + Pick(255));  // NUL would only end the text early
        return s;
    }
    std::string RandomFrom(const char* alphabet, size_t n) {
        std::string s, a = alphabet;
        for (size_t i = 0; i < n; ++i) s += a[Pick(uint32_t(a.size()))];
        return s;
    }
    std::string Fields(const char* const* tokens, size_t count) {
        std::string s = Pick(8) ? "#" : "";
        int fields = int(Pick(11));
        for (int i = 0; i < fields; ++i) {
            if (Pick(4)) s += ' ';
            s += tokens[Pick(uint32_t(count))];
        }
        return s;
    }
    float RandomFinite() {
        switch (Pick(4)) {
            case 0: return float(int(Pick(512)) - 256) / 4.0f;
            case 1: return std::ldexp(float(Pick(1u << 24)) / float(1u << 24), int(Pick(256)) - 150) * (Pick(2) ? 1 : -1);
            case 2: return 0.0f;
            default: {
                uint32_t bits = random_();
                float f;
                std::memcpy(&f, &bits, 4);
                return std::isfinite(f) ? f : 1.0f;
            }
        }
    }
    std::string FiniteFields() {
        std::string s = "#";
        for (int i = 0; i < ParameterCount; ++i) {
            char field[64];
            std::snprintf(field, sizeof field, Pick(2) ? " %.9g" : " %.2f", double(RandomFinite()));
            s += field;
        }
        return s;
    }
    std::string Mutated(std::string s) {
        for (uint32_t n = 1 + Pick(4); n-- && !s.empty();) s[Pick(uint32_t(s.size()))] = char(1 + Pick(255));
        return s;
    }

    std::mt19937 random_;
};

// Texts of up to 1 MiB: numbers that never end, white space before a number,
// endless fields, digits that overflow or underflow any float.
std::vector<std::string> LongTexts() {
    const size_t MiB = 1 << 20;
    std::vector<std::string> texts = {
        "#" + std::string(MiB - 1, '9'),
        "#1" + std::string(MiB - 2, '0'),
        "#0." + std::string(MiB - 4, '0') + "1",
        "#" + std::string(MiB - 4, ' ') + "2 3",
        "#" + std::string(MiB - 1, '#'),
        "#1" + std::string(MiB / 2, '0') + "e-" + std::string(MiB / 2 - 8, '9'),
        "#1e" + std::string(MiB - 3, '9'),
        "#1e-" + std::string(MiB - 4, '9'),
        "#." + std::string(MiB - 2, '5'),
        std::string(MiB, 'x'),
    };
    std::string fields = "#";
    while (fields.size() < MiB - 8) fields += " 1.5";
    texts.push_back(fields);
    std::string mixed = "#";
    for (size_t i = 0; mixed.size() < MiB - 8; ++i) mixed += (i % 3 ? "\t-0" : " 1e-999");
    texts.push_back(mixed);
    return texts;
}

struct Counts {
    long texts = 0, startups = 0, morphs = 0, shades = 0, oddPoints = 0, oddWeights = 0;
};

// One shaded point with every trap unmasked: result 1, nothing raised, the
// colour finite or exactly as it was, the destination untouched or the source
// copied. A point with a sample, channel or coordinate that is not finite is
// left exactly as it was.
void ExpectSafeShade(float s0, float s1, float x, float y, float z, const float* host, Counts& counts,
                     const std::string& after) {
    ShadeResult s;
    unsigned raised;
    {
        UnmaskedTraps traps;
        s = ShadeThroughExport(s0, s1, x, y, z, host);
        raised = traps.Raised();
    }
    ++counts.shades;
    const std::string point = after + ", samples " + std::to_string(s0) + " " + std::to_string(s1) + ", colour " +
                              std::to_string(host[0]) + " " + std::to_string(host[1]) + " " +
                              std::to_string(host[2]) + ", at " + std::to_string(x) + " " + std::to_string(y) +
                              " " + std::to_string(z);
    ASSERT_EQ(s.result, 1) << point;
    ASSERT_EQ(raised, 0u) << point;
    bool untouched = true, allFinite = true, oddInput = false;
    for (float v : {s0, s1, x, y, z, host[0], host[1], host[2]}) oddInput = oddInput || !std::isfinite(v);
    for (int i = 0; i < 3; ++i) {
        untouched = untouched && Bits(s.colour[i]) == Bits(host[i]);
        allFinite = allFinite && std::isfinite(s.colour[i]);
    }
    ASSERT_TRUE(allFinite || untouched) << point;
    ASSERT_TRUE(s.destination == Untouched || s.destination == 0xC0FFEE42u) << point;
    if (oddInput) {
        ++counts.oddPoints;
        ASSERT_TRUE(untouched && s.destination == Untouched) << point;
    }
}

void ExpectSafeShade(float s0, float s1, float x, float y, float z, float host, Counts& counts,
                     const std::string& after) {
    const float colour[3] = {host, host, host};
    ExpectSafeShade(s0, s1, x, y, z, colour, counts, after);
}

// A point where the renderer hands over something not finite: a sample (often
// beside a zero one), a colour channel (often with a zero product: a stain
// weight of 0) or a coordinate.
void ExpectSafeOddShade(HostileTexts& random, Counts& counts, const std::string& after) {
    const float odd = NonFinite[random.Pick(std::size(NonFinite))];
    float samples[2] = {Partners[random.Pick(std::size(Partners))], Partners[random.Pick(std::size(Partners))]};
    float colour[3] = {200.0f, 37.5f, 0.0f};
    float at[3] = {1.0f, -2.0f, 0.5f};
    switch (random.Pick(3)) {
        case 0: samples[random.Pick(2)] = odd; break;
        case 1: colour[random.Pick(3)] = odd; break;
        default: at[random.Pick(3)] = odd; break;
    }
    ExpectSafeShade(samples[0], samples[1], at[0], at[1], at[2], colour, counts, after);
}

// What the procedure makes of the record at a zero product and at 0.6: the
// scaled point, the stain colour and which side of the band each lies on.
struct RecordPrint {
    ShadeResult zero, band;
};
RecordPrint PrintOfRecord() { return {ShadeThroughExport(0.0f, 1.0f, 1, 1, 1), ShadeThroughExport(0.6f, 1.0f, 1, 1, 1)}; }
bool SamePrint(const RecordPrint& a, const RecordPrint& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string Shown(const std::string& text) {
    std::string out = text.substr(0, 80);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32) c = '?';
    return "text \"" + out + (text.size() > 80 ? "...\" (" + std::to_string(text.size()) + " bytes)" : "\"");
}

// Startup (with the mark, no message box), Morph with a hostile weight, a
// shaded point after each.
void Exercise(const std::string& text, float weight, HostileTexts& random, Counts& counts) {
    ++counts.texts;
    const float x = FiniteSamples[random.Pick(std::size(FiniteSamples))];
    if (!text.empty() && text[0] == '#') {
        {
            UnmaskedTraps traps(true);
            ASSERT_EQ(Exports().startup(0, 0, text.c_str()), 1) << Shown(text);
            ASSERT_EQ(traps.Raised(), 0u) << "Startup " << Shown(text);
        }
        ++counts.startups;
        ExpectSafeShade(FiniteSamples[random.Pick(std::size(FiniteSamples))],
                        FiniteSamples[random.Pick(std::size(FiniteSamples))], x, -x, 1.5f, 200.0f, counts,
                        "Startup " + Shown(text));
    }
    // A weight that is not finite leaves the record as it was (fields the text
    // does not give meet it with a zero difference).
    const bool oddWeight = !std::isfinite(weight);
    const RecordPrint before = oddWeight ? PrintOfRecord() : RecordPrint{};
    {
        UnmaskedTraps traps;
        ASSERT_EQ(Exports().morph(text.c_str(), weight), 1) << Shown(text) << " weight " << weight;
        ASSERT_EQ(traps.Raised(), 0u) << "Morph " << Shown(text) << " weight " << weight;
    }
    ++counts.morphs;
    if (oddWeight) {
        ++counts.oddWeights;
        ASSERT_TRUE(SamePrint(PrintOfRecord(), before)) << "Morph " << Shown(text) << " weight " << weight;
    }
    ExpectSafeShade(FiniteSamples[random.Pick(std::size(FiniteSamples))],
                    FiniteSamples[random.Pick(std::size(FiniteSamples))], 1.0f, x, -2.0f, 37.5f, counts,
                    "Morph " + Shown(text) + " weight " + std::to_string(weight));
    if (random.Pick(4) == 0)  // now and then the renderer's own values are not numbers
        ExpectSafeOddShade(random, counts, "after " + Shown(text));
}

// Presses Cancel on every parameter dialog this process opens, until stopped.
class DialogCanceller {
  public:
    DialogCanceller() {
        PrepareForWindowHelpers();
        thread_ = std::thread([this] { Run(); });
    }
    ~DialogCanceller() { stop_ = true; thread_.join(); }
    int Cancelled() const { return cancelled_; }

  private:
    void Run() {
        while (!stop_) {
            HWND dialog = FindOwnWindow("#32770", "Vesk 0.15 ");
            if (dialog) {
                // Counted first: once the press is posted, the export may return
                // and the test read the count before this thread runs again.
                ++cancelled_;
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                const DWORD deadline = GetTickCount() + 10000;
                while (IsWindow(dialog) && !stop_ && GetTickCount() < deadline) Sleep(1);
            } else {
                Sleep(1);
            }
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> cancelled_{0};
    std::thread thread_;
};

namespace host_memory {
std::atomic<int> Allocations{0}, Releases{0};
void* __cdecl Allocate(size_t bytes) { ++Allocations; return std::malloc(bytes); }
void __cdecl Release(void* block) { ++Releases; std::free(block); }
const HostMemoryFunctions Table{Allocate, Release};
}  // namespace host_memory

uint32_t StressSeed() {
    const char* seed = std::getenv("VESK_STRESS_SEED");
    return seed ? uint32_t(std::strtoul(seed, nullptr, 0)) : 20261211u;
}

TEST(HostileInput, ExportsSurviveHostileTextsAndWeights) {
    const long textCount = [] {
        const char* n = std::getenv("VESK_STRESS_TEXTS");
        return n ? std::atol(n) : 250000L;
    }();
    const uint32_t seed = StressSeed();
    HostileTexts random(seed);
    Counts counts;

    for (const std::string& text : LongTexts()) {
        for (float w : {0.0f, NAN}) Exercise(text, w, random, counts);
        if (HasFatalFailure()) return;
    }
    while (counts.texts < textCount) {
        // A sane record now and then, so the texts meet live shading, not
        // only a record that some earlier text left with zero scales.
        if (random.Pick(32) == 0) LoadRecord(random.Pick(2) ? DefaultParameters : random.FiniteRecord());
        Exercise(random.Next(), Weights[random.Pick(std::size(Weights))], random, counts);
        if (HasFatalFailure()) return;
    }

    // The module still loads and shades as it should.
    LoadRecord(DefaultParameters);
    EXPECT_RECORD_NEAR(ProbeRecord(), Fields(DefaultParameters), "defaults after the storm");
    std::printf("hostile texts tried: %ld (seed %u): %ld Startup, %ld Morph (%ld with a non-finite weight), %ld "
                "shaded points (%ld with a non-finite sample, colour channel or coordinate), all with traps "
                "unmasked\n", counts.texts, seed, counts.startups, counts.morphs, counts.oddWeights, counts.shades,
                counts.oddPoints);
    RecordProperty("hostile_texts", int(counts.texts));
    EXPECT_GE(counts.texts, textCount);
}

TEST(HostileInput, StartupComplainsAboutUnmarkedTextsAndKeepsTheRecord) {
    // Each brings a message box: a sample, not the whole storm.
    HostileTexts random(StressSeed() + 1);
    const ShaderParameters loaded{2, 3, 4, 0.25f, 0.5f, {10, 20, 30}};
    int tried = 0;
    for (int i = 0; i < 12; ++i) {
        std::string text = random.Next();
        if (!text.empty() && text[0] == '#') text[0] = ' ';
        if (i == 0) text = "";
        if (i == 1) text = std::string(1 << 20, '1');
        LoadRecord(loaded);
        MessageBoxWatch watch("External texture: Startup");
        {
            UnmaskedTraps traps(true);
            EXPECT_EQ(Exports().startup(0, 0, text.c_str()), 1) << Shown(text);
            EXPECT_EQ(traps.Raised(), 0u) << Shown(text);
        }
        MessageBoxSeen seen = watch.Finish();
        EXPECT_TRUE(seen.shown) << Shown(text);
        EXPECT_RECORD_NEAR(ProbeRecord(), Fields(loaded), Shown(text));
        ++tried;
    }
    std::printf("unmarked texts through Startup: %d\n", tried);
}

}  // namespace

namespace {

TEST(HostileInput, CancelledEditsKeepTheTextAndShadingGoesOn) {
    // Each opens the dialog: a sample of the storm, long texts among them.
    const int dialogCount = [] {
        const char* n = std::getenv("VESK_STRESS_DIALOGS");
        return n ? std::atoi(n) : 400;
    }();
    HostileTexts random(StressSeed() + 2);
    std::vector<std::string> texts = {"#", "", "# 1 1 1 0.5 0.2 3.4e38 -3.4e38 1e30",
                                      "# 3.4e38 -3.4e38 1e-45 -1e30 1e30 -0 nan inf", LongTexts()[0], LongTexts()[3]};
    while (int(texts.size()) < dialogCount) texts.push_back(random.Next());

    Counts counts;
    DialogCanceller canceller;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i % 8 == 0) LoadRecord(random.Pick(2) ? DefaultParameters : random.FiniteRecord());
        std::vector<char> text(texts[i].begin(), texts[i].end());
        text.push_back('\0');
        char* incoming = i % 5 == 4 ? nullptr : text.data();  // now and then the renderer has no text yet
        host_memory::Allocations = host_memory::Releases = 0;
        const int before = canceller.Cancelled();
        char* result;
        {
            UnmaskedTraps traps(true);
            result = Exports().setParameters(incoming, nullptr, &host_memory::Table);
            ASSERT_EQ(traps.Raised(), 0u) << "edit of " << Shown(texts[i]);
        }
        ++counts.texts;
        EXPECT_EQ(result, incoming) << Shown(texts[i]);
        EXPECT_EQ(host_memory::Allocations, 0) << Shown(texts[i]);
        EXPECT_EQ(host_memory::Releases, 0) << Shown(texts[i]);
        EXPECT_EQ(canceller.Cancelled(), before + 1) << "the dialog opened once for " << Shown(texts[i]);
        ExpectSafeShade(FiniteSamples[random.Pick(std::size(FiniteSamples))],
                        FiniteSamples[random.Pick(std::size(FiniteSamples))], 1.0f, 2.0f, 3.0f, 200.0f, counts,
                        "cancelled edit of " + Shown(texts[i]));
        if (HasFatalFailure()) return;
    }
    std::printf("hostile texts through a cancelled edit: %ld\n", counts.texts);
}

}  // namespace
