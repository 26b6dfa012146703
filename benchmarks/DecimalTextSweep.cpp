// Every float through the plug-in's decimal text, against the standard
// library: all 2^32 bit patterns written with two decimals (std::to_chars),
// and every finite float's shortest text read back (std::from_chars), plus
// the midpoint to its upper neighbour for every 64th float. Too long for the
// test run (minutes on two cores); scripts/check-decimal-text runs it.
#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "params/DecimalText.h"
#include "params/DecimalTextReference.h"

namespace {

std::atomic<uint64_t> mismatches{0};

void Report(const char* what, uint32_t bits, const std::string& detail) {
    if (mismatches++ < 20) std::printf("MISMATCH %s at 0x%08x: %s\n", what, bits, detail.c_str());
}

// Bit patterns [first, last) of one share of the work.
void SweepShare(uint64_t first, uint64_t last, std::atomic<uint64_t>& written, std::atomic<uint64_t>& read) {
    uint64_t writes = 0, reads = 0;
    for (uint64_t pattern = first; pattern < last; ++pattern) {
        uint32_t bits = static_cast<uint32_t>(pattern);
        float value = std::bit_cast<float>(bits);

        char text[TwoDecimalsLength + 1];
        std::string ours(text, WriteTwoDecimals(text, value));
        std::string reference = ReferenceTwoDecimals(value);
        if (ours != reference) Report("write", bits, ours + " vs " + reference);
        ++writes;

        if ((bits & 0x7F800000u) == 0x7F800000u || (bits >> 31)) continue;  // readers see unsigned finite values
        char shortest[64];
        auto [end, error] = std::to_chars(shortest, shortest + sizeof shortest, value);
        float back = -1.0f;
        if (error != std::errc() || !DecimalToFloat(shortest, end, back) || std::bit_cast<uint32_t>(back) != bits)
            Report("read shortest", bits, std::string(shortest, end));
        ++reads;

        if ((bits & 63) == 0 && bits < 0x7F7FFFFFu) {
            double mid = (static_cast<double>(value) + std::bit_cast<float>(bits + 1)) / 2;
            char exact[160];
            int length = std::snprintf(exact, sizeof exact, "%.119e", mid);
            ReferenceReading want = ReferenceDecimalToFloat(std::string(exact, length));
            float got = -1.0f;
            bool fits = DecimalToFloat(exact, exact + length, got);
            if (fits != want.fits || (fits && std::bit_cast<uint32_t>(got) != std::bit_cast<uint32_t>(want.value)))
                Report("read midpoint", bits, exact);
            ++reads;
        }
    }
    written += writes;
    read += reads;
}

}  // namespace

int main() {
    auto start = std::chrono::steady_clock::now();
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    // Small slices handed out in turn, so the slow huge-number patterns spread evenly.
    const uint64_t slice = 1u << 20, total = uint64_t(1) << 32;
    std::atomic<uint64_t> next{0}, written{0}, read{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (uint64_t first = next.fetch_add(slice); first < total; first = next.fetch_add(slice))
                SweepShare(first, first + slice, written, read);
        });
    for (auto& worker : workers) worker.join();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("written: %llu bit patterns; read: %llu texts; mismatches: %llu; %.0f s on %u threads\n",
                static_cast<unsigned long long>(written.load()), static_cast<unsigned long long>(read.load()),
                static_cast<unsigned long long>(mismatches.load()), elapsed.count(), threads);
    return mismatches == 0 ? 0 : 1;
}
