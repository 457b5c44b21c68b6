// The bytes on the light line as the board reads them, arriving in pieces of any size.

#include "fuzz/fuzz_check.h"
#include "light/board_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = data[0] % 7 + 1;
    const QByteArrayView bytes(data + 1, qsizetype(size - 1));
    BoardParser whole, pieces;
    whole.Feed(bytes);
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(piece))
        pieces.Feed(bytes.sliced(at).first(std::min<qsizetype>(piece, bytes.size() - at)));
    FUZZ_CHECK(whole.Levels() == pieces.Levels() && whole.Items() == pieces.Items() &&
               whole.Faults() == pieces.Faults() && whole.ControlItems() == pieces.ControlItems());
    for (const int level : whole.Levels()) FUZZ_CHECK(level >= 0 && level <= 8);
    FUZZ_CHECK(whole.Items() * 2 + whole.Faults() <= bytes.size());
    return 0;
}
