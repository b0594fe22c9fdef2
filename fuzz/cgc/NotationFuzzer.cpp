// Feeds arbitrary text to the SAN reader, line by line as the moves of one
// game, and to the PGN reader. A move read must write and read back as
// itself; a game read must write and read back as the same moves. The engine
// checks its record after every move it applies.
//
// Build and run from the source root (clang, AddressSanitizer + UBSan):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
//     -DTOLVAR_BUILD_FUZZERS=ON -DTOLVAR_BUILD_GUI=OFF -DTOLVAR_BUILD_TESTS=OFF \
//     -DTOLVAR_BUILD_BENCHMARKS=OFF
//   cmake --build build-fuzz -j2 --target notation_fuzzer
//   build-fuzz/bin/notation_fuzzer fuzz-corpus-notation fuzz/cgc/seeds -max_total_time=60

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cgc/cgc.h"
#include "cgc/pgn.h"

namespace {

void PlaySanLines(std::string_view text)
{
    game* g = cgc_create_seated_game();
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line(text.substr(at, end - at));
        at = end + 1;
        cgc_move move, back;
        char san[CGC_SAN_SIZE], move_text[8];
        if (cgc_read_san(g, line.c_str(), &move) != 0)
            continue;
        if (cgc_write_san(g, &move, san) != 0 || cgc_read_san(g, san, &back) != 0 ||
            std::memcmp(&move, &back, sizeof move) != 0)
            std::abort();
        cgc_move_text(&move, move_text);
        if (cgc_make_move(g, move_text) < 0)
            std::abort();
    }
    cgc_free_game(g);
}

void ReadPgn(std::string_view text)
{
    cgc_pgn_game pgn, back;
    std::string problem, written;
    int read = 0;
    for (std::size_t at = 0, before = 0; (read = cgc_read_pgn(text, &at, &pgn, &problem)) != 0;
         before = at) {
        // Every game read moves on through the text.
        if (at <= before)
            std::abort();
        // A game that could not be read whole (a set-up position, a bad
        // move) is skipped; what was read of it need not write back.
        if (read != 1)
            continue;
        std::size_t offset = 0;
        if (cgc_write_pgn(&pgn, &written) != 0 ||
            cgc_read_pgn(written, &offset, &back, &problem) != 1 || back.moves != pgn.moves)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    PlaySanLines(text);
    ReadPgn(text);
    return 0;
}
